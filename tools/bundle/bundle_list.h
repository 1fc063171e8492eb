// The bundle list: the page, style sheets, script groups, assets and wraps that make up the document.
#pragma once
#include <string>
#include <vector>

#include "diagnostics.h"

struct Source {
  std::string path;
  int listLine = 0;
  std::string text;  // UTF-8 with LF line ends
};

// Consecutive scripts of one group, which become one script element.
struct ScriptGroup {
  std::string name;
  int listLine = 0;
  std::vector<Source> files;
};

struct Asset {
  std::string name, mime, path;
  int listLine = 0;
  std::string address;  // data:MIME;base64,...
  bool used = false;
};

struct Wrap {
  std::string name;
  int listLine = 0;
};

struct BundleList {
  std::string path;
  Source page;
  std::vector<Source> styles;
  std::vector<ScriptGroup> groups;
  std::vector<Asset> assets;
  std::vector<Wrap> wraps;
};

// Reads the list and every file it names. The list is usable only when diag stays free of errors.
void readBundleList(const std::string& path, BundleList& list, Diagnostics& diag);
