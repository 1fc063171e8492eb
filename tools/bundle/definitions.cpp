// Top-level definitions across all scripts: duplicates, reassigned functions and the wrap entries.
//
// A definition is a line that starts at column 0 in the file's own code (not inside a block comment or a
// template literal that spans lines) with `function NAME(`, `async function NAME(`, `function* NAME(`,
// `class NAME`, or `let`/`const`/`var` followed by a name, a comma list of names or a destructuring
// pattern. A line `NAME = ...` at column 0 is a reassignment. CodeTracker follows strings, comments,
// regular expressions and nested template literals from line to line so that the reader only looks at
// lines that really begin in top-level code; it is a scanner, not a parser, and aims at ordinary code.
#include "definitions.h"

#include <map>
#include <set>
#include <string_view>

#include "text.h"

namespace {

constexpr size_t npos = std::string_view::npos;

// After these words a '/' starts a regular expression, as after an operator.
bool precedesExpression(std::string_view word) {
  static const char* const words[] = {"return", "typeof", "case",  "do",    "else",  "in",    "of",
                                      "void",   "yield",  "await", "delete", "throw", "new",  "instanceof"};
  for (const char* w : words)
    if (word == w) return true;
  return false;
}

// Whether a '/' after the significant character prev begins a regular expression rather than a division.
bool regexCanFollow(char prev) {
  return prev == 0 || std::string_view("(,=:[!&|?{};+-*%<>~^}").find(prev) != npos;
}

size_t wordEnd(std::string_view s, size_t i) {
  while (i < s.size() && isIdentChar(s[i])) i++;
  return i;
}

// Index after the closing quote of the string that starts at i (end of line if it is not closed).
size_t skipString(std::string_view s, size_t i) {
  char quote = s[i];
  for (i++; i < s.size(); i++) {
    if (s[i] == '\\') i++;
    else if (s[i] == quote) return i + 1;
  }
  return s.size();
}

// Index after the regular expression (with flags) that starts at i, or npos when the line ends first.
size_t skipRegex(std::string_view s, size_t i) {
  bool inClass = false;
  for (i++; i < s.size(); i++) {
    char c = s[i];
    if (c == '\\') i++;
    else if (c == '[') inClass = true;
    else if (c == ']') inClass = false;
    else if (c == '/' && !inClass) return wordEnd(s, i + 1);
  }
  return npos;
}

class CodeTracker {
 public:
  // True when the next line begins in the file's top-level code.
  bool atTopLevel() const { return !blockComment_ && contexts_.size() == 1; }

  void feed(std::string_view s) {
    size_t i = 0;
    while (i < s.size()) {
      char c = s[i];
      char next = i + 1 < s.size() ? s[i + 1] : 0;
      if (blockComment_) {
        size_t end = s.find("*/", i);
        if (end == npos) return;
        blockComment_ = false;
        i = end + 2;
      } else if (contexts_.back().isTemplate) {
        if (c == '\\') {
          i += 2;
        } else if (c == '`') {
          contexts_.pop_back();
          prev_ = 'a';
          i++;
        } else if (c == '$' && next == '{') {
          contexts_.push_back({false, 0});
          prev_ = '(';
          i += 2;
        } else {
          i++;
        }
      } else {
        i = code(s, i, c, next);
      }
    }
  }

 private:
  struct Context {
    bool isTemplate;
    int braces;  // open braces inside a ${...} expression, to find its closing brace
  };

  // Steps over one token of code at i and returns the index after it.
  size_t code(std::string_view s, size_t i, char c, char next) {
    if (c == ' ' || c == '\t') return i + 1;
    if (c == '/' && next == '/') return s.size();
    if (c == '/' && next == '*') {
      blockComment_ = true;
      return i + 2;
    }
    if (c == '\'' || c == '"') {
      prev_ = 'a';
      return skipString(s, i);
    }
    if (c == '`') {
      contexts_.push_back({true, 0});
      return i + 1;
    }
    if (c == '/' && regexCanFollow(prev_)) {
      size_t end = skipRegex(s, i);
      if (end != npos) {
        prev_ = 'a';
        return end;
      }
    }
    if (isIdentChar(c)) {
      size_t end = wordEnd(s, i);
      prev_ = precedesExpression(s.substr(i, end - i)) ? '(' : 'a';
      return end;
    }
    Context& top = contexts_.back();
    if (c == '{') top.braces++;
    if (c == '}') {
      if (top.braces == 0 && contexts_.size() > 1) {
        contexts_.pop_back();  // end of a ${...}: back inside the template
        return i + 1;
      }
      top.braces--;
    }
    prev_ = c;
    return i + 1;
  }

  std::vector<Context> contexts_{{false, 0}};
  bool blockComment_ = false;
  char prev_ = 0;
};

// Index of the ',' ';' or closing bracket that ends the expression starting at i on this line, or the end
// of the line. Strings, regular expressions, one-line template literals and nested brackets are skipped.
size_t skipExpression(std::string_view s, size_t i) {
  int depth = 0;
  char prev = '=';
  while (i < s.size()) {
    char c = s[i];
    if (c == ' ' || c == '\t') {
      i++;
    } else if (c == '/' && i + 1 < s.size() && (s[i + 1] == '/' || s[i + 1] == '*')) {
      return s.size();
    } else if (c == '\'' || c == '"' || c == '`') {
      i = skipString(s, i);
      prev = 'a';
    } else if (c == '/' && regexCanFollow(prev) && skipRegex(s, i) != npos) {
      i = skipRegex(s, i);
      prev = 'a';
    } else if (isIdentChar(c)) {
      size_t end = wordEnd(s, i);
      prev = precedesExpression(s.substr(i, end - i)) ? '(' : 'a';
      i = end;
    } else {
      if (c == '(' || c == '[' || c == '{') depth++;
      if (c == ')' || c == ']' || c == '}') {
        if (depth == 0) return i;
        depth--;
      }
      if ((c == ',' || c == ';') && depth == 0) return i;
      prev = c;
      i++;
    }
  }
  return s.size();
}

enum class Kind { Function, Class, Let, Const, Var, Reassign };

struct Found {
  Kind kind;
  std::string name;
};

// Binding names of a destructuring pattern starting at i ('{' or '['); returns the index after it, or npos
// when the pattern does not close on this line or holds something this reader does not follow.
size_t readPattern(std::string_view s, size_t i, Kind kind, std::vector<Found>& out) {
  std::vector<char> open;
  while (i < s.size()) {
    char c = s[i];
    if (c == '{' || c == '[') {
      open.push_back(c);
      i++;
    } else if (c == '}' || c == ']') {
      open.pop_back();
      i++;
      if (open.empty()) return i;
    } else if (c == ',' || c == ' ' || c == '\t' || c == '.') {
      i++;
    } else if (c == '\'' || c == '"') {
      i = skipString(s, i);  // a quoted key; its binding follows the ':'
    } else if (c == ':') {
      i++;
    } else if (isIdentChar(c)) {
      size_t end = wordEnd(s, i);
      size_t after = skipBlanks(s, end);
      bool isKey = after < s.size() && s[after] == ':';
      if (!isKey) out.push_back({kind, std::string(s.substr(i, end - i))});
      i = after < s.size() && s[after] == '=' ? skipExpression(s, after + 1) : after;
    } else {
      return npos;
    }
  }
  return npos;
}

// Names declared by `let`/`const`/`var` from i: a name or pattern, an initializer, then more after commas.
void readDeclarators(std::string_view s, size_t i, Kind kind, std::vector<Found>& out) {
  for (;;) {
    i = skipBlanks(s, i);
    if (i < s.size() && (s[i] == '{' || s[i] == '[')) {
      i = readPattern(s, i, kind, out);
      if (i == npos) return;
    } else {
      size_t end = wordEnd(s, i);
      if (end == i) return;
      out.push_back({kind, std::string(s.substr(i, end - i))});
      i = end;
    }
    i = skipBlanks(s, i);
    if (i < s.size() && s[i] == '=') i = skipExpression(s, i + 1);
    if (i >= s.size() || s[i] != ',') return;
    i++;
  }
}

// What a line that starts at column 0 in top-level code defines or reassigns.
void readTopLevelLine(std::string_view s, std::vector<Found>& out) {
  size_t end = wordEnd(s, 0);
  std::string_view word = s.substr(0, end);
  size_t i = skipBlanks(s, end);
  if (word == "async") {
    size_t next = wordEnd(s, i);
    if (s.substr(i, next - i) != "function") return;
    word = "function";
    i = skipBlanks(s, next);
  }
  if (word == "function" || word == "class") {
    if (word == "function" && i < s.size() && s[i] == '*') i = skipBlanks(s, i + 1);
    size_t nameEnd = wordEnd(s, i);
    size_t after = skipBlanks(s, nameEnd);
    bool isFunction = word == "function";
    if (nameEnd == i || (isFunction && (after >= s.size() || s[after] != '('))) return;
    out.push_back({isFunction ? Kind::Function : Kind::Class, std::string(s.substr(i, nameEnd - i))});
  } else if (word == "let" || word == "const" || word == "var") {
    if (i == end) return;  // `let` must be followed by a blank
    readDeclarators(s, i, word == "let" ? Kind::Let : word == "const" ? Kind::Const : Kind::Var, out);
  } else if (i < s.size() && s[i] == '=' && (i + 1 >= s.size() || (s[i + 1] != '=' && s[i + 1] != '>'))) {
    out.push_back({Kind::Reassign, std::string(word)});
  }
}

struct Site {
  Kind kind;
  std::string name;
  const std::string* file;
  int line;
};

std::string where(const Site& site) { return *site.file + ":" + std::to_string(site.line); }

std::vector<Site> collectSites(const BundleList& list) {
  std::vector<Site> sites;
  std::vector<Found> found;
  for (const ScriptGroup& group : list.groups) {
    for (const Source& file : group.files) {
      CodeTracker tracker;
      std::string_view text = file.text;
      int lineNumber = 0;
      for (size_t start = 0; start < text.size();) {
        size_t stop = text.find('\n', start);
        if (stop == npos) stop = text.size();
        std::string_view line = text.substr(start, stop - start);
        lineNumber++;
        if (tracker.atTopLevel() && !line.empty() && isIdentChar(line[0])) {
          found.clear();
          readTopLevelLine(line, found);
          for (Found& f : found) sites.push_back({f.kind, std::move(f.name), &file.path, lineNumber});
        }
        tracker.feed(line);
        start = stop + 1;
      }
    }
  }
  return sites;
}

}  // namespace

void checkDefinitions(const BundleList& list, Diagnostics& diag) {
  std::vector<Site> sites = collectSites(list);
  std::map<std::string, int> wrapLine;
  for (const Wrap& wrap : list.wraps) wrapLine[wrap.name] = wrap.listLine;

  std::map<std::string, size_t> declared;  // name -> index of its first declaration in sites
  for (size_t k = 0; k < sites.size(); k++) {
    const Site& site = sites[k];
    if (site.kind == Kind::Reassign) continue;
    auto first = declared.find(site.name);
    if (first == declared.end()) {
      declared[site.name] = k;
      continue;
    }
    std::string message = site.name + " is already defined at " + where(sites[first->second]);
    if (site.kind == Kind::Function && wrapLine.count(site.name)) {
      message += "; wrap " + site.name + " allows only a reassignment \"" + site.name +
                 " = ...\", not a second function declaration (hoisting would replace the first before it could be wrapped)";
    }
    diag.error(*site.file, site.line, message);
  }

  std::set<std::string> reassigned;
  for (size_t k = 0; k < sites.size(); k++) {
    const Site& site = sites[k];
    auto decl = declared.find(site.name);
    if (site.kind != Kind::Reassign || decl == declared.end()) continue;
    const Site& target = sites[decl->second];
    if (target.kind == Kind::Const) {
      diag.error(*site.file, site.line, site.name + " is a constant declared at " + where(target));
    } else if (target.kind == Kind::Function) {
      reassigned.insert(site.name);
      if (!wrapLine.count(site.name)) {
        diag.error(*site.file, site.line,
                   site.name + " reassigns the function defined at " + where(target) + "; list \"wrap " + site.name +
                       "\" in " + list.path + " if it wraps it on purpose");
      } else if (k < decl->second) {
        diag.error(*site.file, site.line,
                   site.name + " is reassigned before its function is declared at " + where(target) +
                       "; a wrap must follow the function it wraps");
      }
    }
  }

  for (const Wrap& wrap : list.wraps) {
    auto decl = declared.find(wrap.name);
    if (decl == declared.end() || sites[decl->second].kind != Kind::Function) {
      diag.error(list.path, wrap.listLine, "wrap " + wrap.name + ": no function " + wrap.name + " is declared");
    } else if (!reassigned.count(wrap.name)) {
      diag.error(list.path, wrap.listLine,
                 "wrap " + wrap.name + ": " + wrap.name + " is never reassigned (stale entry)");
    }
  }
}
