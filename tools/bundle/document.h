// Assembles the document: assets substituted, scripts escaped and hashed, the policy written, markers filled.
#pragma once
#include <string>
#include <vector>

#include "bundle_list.h"
#include "diagnostics.h"

struct ScriptElement {
  std::string group;
  std::string text;  // exactly the text between <script> and </script>, which the policy hashes
};

struct Document {
  std::string html;
  std::vector<ScriptElement> scripts;
};

constexpr const char* CSP_MARKER = "<!--kinloom:csp-->";
constexpr const char* STYLES_MARKER = "<!--kinloom:styles-->";
constexpr const char* SCRIPTS_MARKER = "<!--kinloom:scripts-->";

// Checks every source and builds the document; doc is complete only when diag stays free of errors.
void buildDocument(BundleList& list, Diagnostics& diag, Document& doc);
