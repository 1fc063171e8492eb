// kinloom-bundle LIST OUTPUT: joins the files named in the bundle list into one self-contained HTML
// document, and writes each script element's text to build/document/GROUP.js for syntax checking.
// Faults are printed as "kinloom-bundle: file:line: message"; on any fault nothing is written.
#include <cstdio>
#include <filesystem>
#include <set>

#include "bundle_list.h"
#include "document.h"
#include "text.h"

namespace fs = std::filesystem;

namespace {

const char* const SCRIPTS_FOLDER = "build/document";

int fail(const std::string& message) {
  std::fprintf(stderr, "kinloom-bundle: %s\n", message.c_str());
  return 1;
}

// Writes GROUP.js for each script element and removes the files of groups that no longer exist.
bool writeScripts(const Document& doc) {
  std::error_code ec;
  fs::create_directories(SCRIPTS_FOLDER, ec);
  std::set<std::string> current;
  for (const ScriptElement& s : doc.scripts) {
    std::string path = std::string(SCRIPTS_FOLDER) + "/" + s.group + ".js";
    if (!writeFileAtomically(path, s.text)) return false;
    current.insert(s.group + ".js");
  }
  for (const auto& entry : fs::directory_iterator(SCRIPTS_FOLDER, ec)) {
    std::string name = entry.path().filename().string();
    if (entry.path().extension() == ".js" && !current.count(name)) fs::remove(entry.path(), ec);
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: kinloom-bundle LIST OUTPUT   (for example app/bundle.list dist/Kinloom.html)\n");
    return 2;
  }
  std::string output = argv[2];
  Diagnostics diag;
  BundleList list;
  readBundleList(argv[1], list, diag);
  Document doc;
  if (!diag.failed()) buildDocument(list, diag, doc);
  if (diag.failed()) {
    for (const std::string& e : diag.errors) fail(e);
    return 1;
  }

  if (!writeScripts(doc)) return fail(std::string(SCRIPTS_FOLDER) + ": cannot write the script files");
  fs::path parent = fs::path(output).parent_path();
  std::error_code ec;
  if (!parent.empty()) fs::create_directories(parent, ec);
  if (!writeFileAtomically(output, doc.html)) return fail(output + ": cannot write");
  return 0;
}
