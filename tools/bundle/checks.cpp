// What the document may contain: loads from outside it, inline handlers, text that ends its element early.
#include "checks.h"

#include <cctype>
#include <functional>

#include "text.h"

namespace {

constexpr size_t npos = std::string_view::npos;

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\f' || c == '\r'; }

bool isNetworkAddress(std::string_view text, size_t pos) {
  return startsWithNoCase(text, pos, "http:") || startsWithNoCase(text, pos, "https:") ||
         startsWithNoCase(text, pos, "//");
}

bool isInsideAddress(std::string_view value) {
  for (std::string_view prefix : {"data:", "blob:", "#", "{{asset:"})
    if (startsWithNoCase(value, 0, prefix)) return true;
  return false;
}

// Calls visit(lineNumber, line) for each line of text.
void eachLine(std::string_view text, const std::function<void(int, std::string_view)>& visit) {
  int number = 0;
  for (size_t start = 0; start <= text.size();) {
    size_t stop = text.find('\n', start);
    if (stop == npos) stop = text.size();
    visit(++number, text.substr(start, stop - start));
    start = stop + 1;
  }
}

// Each case-insensitive occurrence of word (lower case) in line that is not part of a longer name.
void eachWord(std::string_view line, std::string_view word, const std::function<void(size_t)>& visit) {
  for (size_t at = findNoCase(line, word); at != npos; at = findNoCase(line, word, at + 1)) {
    bool before = at > 0 && (isIdentChar(line[at - 1]) || line[at - 1] == '-');
    bool after = at + word.size() < line.size() && isIdentChar(line[at + word.size()]);
    if (!before && !after) visit(at);
  }
}

// Style text, whose first line is line firstLine of file.
void checkStyleText(std::string_view css, const std::string& file, int firstLine, Diagnostics& diag) {
  eachLine(css, [&](int number, std::string_view line) {
    int lineNumber = firstLine + number - 1;
    if (findNoCase(line, "</style") != npos) diag.error(file, lineNumber, "</style would end the style element early");
    if (findNoCase(line, "@import") != npos) diag.error(file, lineNumber, "@import loads from outside the document");
    for (size_t at = findNoCase(line, "url("); at != npos; at = findNoCase(line, "url(", at + 1)) {
      size_t value = skipBlanks(line, at + 4);
      if (value < line.size() && (line[value] == '"' || line[value] == '\'')) value++;
      if (!isInsideAddress(line.substr(value)))
        diag.error(file, lineNumber, "url(...) loads from outside the document; use an asset");
    }
  });
}

void checkAttribute(const std::string& tag, const std::string& name, std::string_view value, const std::string& file,
                    int line, Diagnostics& diag) {
  if (name.size() > 2 && name.compare(0, 2, "on") == 0) {
    diag.error(file, line, "inline event handler " + name + "= is blocked by the Content Security Policy; attach it from a script");
  } else if (name == "http-equiv" && startsWithNoCase(value, 0, "content-security-policy")) {
    diag.error(file, line, "the page sets its own Content-Security-Policy; the bundler writes it at <!--kinloom:csp-->");
  } else if ((name == "src" || name == "srcset" || name == "poster" || (name == "href" && tag != "a")) &&
             !isInsideAddress(value)) {
    diag.error(file, line, name + "=\"" + std::string(value.substr(0, 60)) + "\" loads from outside the document; use an asset");
  } else if (name == "style") {
    checkStyleText(value, file, line, diag);
  }
}

}  // namespace

void checkPage(const Source& page, Diagnostics& diag) {
  std::string_view text = page.text;
  size_t n = text.size();
  int line = 1;
  size_t counted = 0;  // text before this offset is counted in line
  auto lineAt = [&](size_t offset) {
    for (; counted < offset && counted < n; counted++)
      if (text[counted] == '\n') line++;
    return line;
  };
  auto lower = [](std::string_view s) {
    std::string out(s);
    for (char& c : out) c = lowerAscii(c);
    return out;
  };

  for (size_t i = text.find('<'); i != npos; i = text.find('<', i)) {
    if (text.compare(i, 4, "<!--") == 0) {
      size_t end = text.find("-->", i + 4);
      i = end == npos ? n : end + 3;
      continue;
    }
    size_t j = i + 1;
    while (j < n && (isalnum(static_cast<unsigned char>(text[j])) || text[j] == '-')) j++;
    if (j == i + 1 || !isalpha(static_cast<unsigned char>(text[i + 1]))) {
      i++;
      continue;
    }
    std::string tag = lower(text.substr(i + 1, j - i - 1));
    int tagLine = lineAt(i);
    if (tag == "script") diag.error(page.path, tagLine, "<script> in the page; list scripts in the bundle list");
    if (tag == "link") diag.error(page.path, tagLine, "<link> loads from outside the document; use a style or an asset");

    // Attributes up to the closing '>'.
    while (j < n && text[j] != '>') {
      if (isSpace(text[j]) || text[j] == '/') {
        j++;
        continue;
      }
      size_t nameStart = j;
      while (j < n && !isSpace(text[j]) && text[j] != '=' && text[j] != '>' && text[j] != '/') j++;
      std::string name = lower(text.substr(nameStart, j - nameStart));
      size_t k = j;
      while (k < n && isSpace(text[k])) k++;
      std::string_view value;
      if (k < n && text[k] == '=') {
        k++;
        while (k < n && isSpace(text[k])) k++;
        size_t valueStart = k;
        if (k < n && (text[k] == '"' || text[k] == '\'')) {
          size_t close = text.find(text[k], k + 1);
          if (close == npos) close = n;
          value = text.substr(valueStart + 1, close - valueStart - 1);
          k = close < n ? close + 1 : n;
        } else {
          while (k < n && !isSpace(text[k]) && text[k] != '>') k++;
          value = text.substr(valueStart, k - valueStart);
        }
        j = k;
      }
      checkAttribute(tag, name, value, page.path, lineAt(nameStart), diag);
    }
    i = j;

    if (tag == "style") {
      size_t end = findNoCase(text, "</style", j);
      if (end == npos) end = n;
      size_t body = j < n ? j + 1 : n;
      checkStyleText(text.substr(body, end - body), page.path, lineAt(body), diag);
      i = end;
    }
  }
}

void checkStyle(const Source& sheet, Diagnostics& diag) { checkStyleText(sheet.text, sheet.path, 1, diag); }

void checkScript(const Source& script, Diagnostics& diag) {
  eachLine(script.text, [&](int number, std::string_view line) {
    auto fail = [&](const std::string& message) { diag.error(script.path, number, message); };
    for (std::string_view attribute : {"src", "href"}) {
      eachWord(line, attribute, [&](size_t at) {
        size_t k = skipBlanks(line, at + attribute.size());
        if (k >= line.size() || line[k] != '=') return;
        k = skipBlanks(line, k + 1);
        if (k < line.size() && line[k] == '\\') k++;
        if (k < line.size() && (line[k] == '"' || line[k] == '\'' || line[k] == '`')) k++;
        if (!isNetworkAddress(line, k)) return;
        size_t tag = line.rfind('<', at);
        bool userLink = attribute == "href" && tag != npos && tag + 2 < line.size() &&
                        lowerAscii(line[tag + 1]) == 'a' && isSpace(line[tag + 2]);
        if (!userLink) fail(std::string(attribute) + "= loads from a network address; use an asset");
      });
    }
    eachWord(line, "<link", [&](size_t) { fail("<link> loads from outside the document"); });
    eachWord(line, "<script", [&](size_t at) {
      size_t close = line.find('>', at);
      if (findNoCase(line.substr(at, close == npos ? npos : close - at), "src") != npos)
        fail("<script src> loads a script from outside the document");
    });
    for (size_t at = findNoCase(line, "url("); at != npos; at = findNoCase(line, "url(", at + 1)) {
      size_t k = skipBlanks(line, at + 4);
      if (k < line.size() && line[k] == '\\') k++;
      if (k < line.size() && (line[k] == '"' || line[k] == '\'')) k++;
      if (isNetworkAddress(line, k)) fail("url(...) loads from a network address; use an asset");
    }
    if (findNoCase(line, "@import") != npos) fail("@import loads from outside the document");
  });
}

std::string escapeScript(std::string_view text) {
  std::string out;
  out.reserve(text.size() + 16);
  for (size_t i = 0; i < text.size(); i++) {
    if (text[i] == '<' && i + 1 < text.size() && text[i + 1] == '/' && startsWithNoCase(text, i + 2, "script")) {
      out += "<\\/";
      i++;
    } else if (text.compare(i, 4, "<!--") == 0) {
      out += "<\\!--";
      i += 3;
    } else {
      out += text[i];
    }
  }
  return out;
}
