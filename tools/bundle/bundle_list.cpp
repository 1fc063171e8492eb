// Reads app/bundle.list: one directive a line, '#' starts a comment, paths relative to the working folder.
#include "bundle_list.h"

#include <map>
#include <sstream>

#include "sha256.h"
#include "text.h"

namespace {

bool allOf(const std::string& s, const char* extra) {
  if (s.empty()) return false;
  for (char c : s) {
    bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
    if (!plain && std::string(extra).find(c) == std::string::npos) return false;
  }
  return true;
}

bool isMime(const std::string& s) {
  size_t slash = s.find('/');
  return slash != std::string::npos && allOf(s.substr(0, slash), "!$&^_.+-") &&
         allOf(s.substr(slash + 1), "!$&^_.+-");
}

bool isIdentifier(const std::string& s) {
  return allOf(s, "_$") && !(s[0] >= '0' && s[0] <= '9');
}

std::vector<std::string> wordsOf(const std::string& line) {
  std::vector<std::string> words;
  std::istringstream in(line);
  for (std::string word; in >> word;) {
    if (word[0] == '#') break;
    words.push_back(word);
  }
  return words;
}

struct Reader {
  Reader(BundleList& l, Diagnostics& d) : list(l), diag(d) {}
  BundleList& list;
  Diagnostics& diag;
  int line = 0;
  std::map<std::string, int> listedFiles;  // path -> list line
  std::map<std::string, size_t> groupIndex;

  void fail(const std::string& message) { diag.error(list.path, line, message); }

  // Loads a page, style sheet or script as text: UTF-8 without NUL, line ends as the HTML parser sees them.
  bool loadText(const std::string& path, Source& source) {
    auto seen = listedFiles.find(path);
    if (seen != listedFiles.end()) {
      fail(path + " is already listed at " + list.path + ":" + std::to_string(seen->second));
      return false;
    }
    listedFiles[path] = line;
    source.path = path;
    source.listLine = line;
    std::string bytes;
    if (!readFile(path, bytes)) {
      fail("cannot read " + path);
      return false;
    }
    source.text = normalizeText(std::move(bytes));
    size_t bad = findBadUtf8(source.text);
    if (bad != std::string::npos) {
      diag.error(path, lineOf(source.text, bad), source.text[bad] ? "not UTF-8 text" : "NUL character");
      return false;
    }
    return true;
  }

  void page(const std::vector<std::string>& w) {
    if (!list.page.path.empty()) return fail("second page line; the first is at line " + std::to_string(list.page.listLine));
    loadText(w[1], list.page);
  }

  void style(const std::vector<std::string>& w) {
    Source source;
    if (loadText(w[1], source)) list.styles.push_back(std::move(source));
  }

  void script(const std::vector<std::string>& w) {
    const std::string& group = w[1];
    if (!allOf(group, "_-")) return fail("script group name " + group + " must be letters, digits, - or _");
    bool continues = !list.groups.empty() && list.groups.back().name == group;
    if (!continues) {
      auto earlier = groupIndex.find(group);
      if (earlier != groupIndex.end()) {
        return fail("script group " + group + " was closed by another group; its files must be consecutive (first at line " +
                    std::to_string(list.groups[earlier->second].listLine) + ")");
      }
      groupIndex[group] = list.groups.size();
      list.groups.push_back({group, line, {}});
    }
    Source source;
    if (loadText(w[2], source)) list.groups.back().files.push_back(std::move(source));
  }

  void asset(const std::vector<std::string>& w) {
    const std::string &name = w[1], &mime = w[2], &path = w[3];
    if (!allOf(name, "_.-")) return fail("asset name " + name + " must be letters, digits, '.', - or _");
    if (!isMime(mime)) return fail("asset " + name + ": " + mime + " is not a MIME type");
    for (const Asset& a : list.assets)
      if (a.name == name) return fail("asset " + name + " is already defined at line " + std::to_string(a.listLine));
    std::string bytes;
    if (!readFile(path, bytes)) return fail("cannot read " + path);
    list.assets.push_back({name, mime, path, line, "data:" + mime + ";base64," + base64(bytes), false});
  }

  void wrap(const std::vector<std::string>& w) {
    const std::string& name = w[1];
    if (!isIdentifier(name)) return fail("wrap " + name + ": not a script name");
    for (const Wrap& existing : list.wraps)
      if (existing.name == name) return fail("wrap " + name + " is already listed at line " + std::to_string(existing.listLine));
    list.wraps.push_back({name, line});
  }

  void directive(const std::vector<std::string>& w) {
    struct Form {
      const char* name;
      size_t words;
      const char* usage;
      void (Reader::*read)(const std::vector<std::string>&);
    };
    static const Form forms[] = {
        {"page", 2, "page FILE", &Reader::page},
        {"style", 2, "style FILE", &Reader::style},
        {"script", 3, "script GROUP FILE", &Reader::script},
        {"asset", 4, "asset NAME MIME FILE", &Reader::asset},
        {"wrap", 2, "wrap NAME", &Reader::wrap},
    };
    for (const Form& form : forms) {
      if (w[0] != form.name) continue;
      if (w.size() != form.words) return fail(std::string("expected \"") + form.usage + "\"");
      return (this->*form.read)(w);
    }
    fail("unknown directive " + w[0]);
  }
};

}  // namespace

void readBundleList(const std::string& path, BundleList& list, Diagnostics& diag) {
  list.path = path;
  std::string text;
  if (!readFile(path, text)) return diag.error(path, 0, "cannot read the bundle list");
  text = normalizeText(std::move(text));
  Reader reader(list, diag);
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    reader.line++;
    std::vector<std::string> words = wordsOf(line);
    if (!words.empty()) reader.directive(words);
  }
  if (list.page.path.empty()) diag.error(path, 0, "no page line");
}
