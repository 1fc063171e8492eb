// Small text helpers: reading files, the byte rules of the HTML parser, case-insensitive matching.
#include "text.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <unistd.h>

bool readFile(const std::string& path, std::string& bytes) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) return false;
  std::ifstream in(path, std::ios::binary | std::ios::ate);
  if (!in) return false;
  std::streamoff size = in.tellg();
  if (size < 0) return false;
  bytes.resize(static_cast<size_t>(size));
  in.seekg(0);
  return static_cast<bool>(in.read(bytes.data(), size));
}

bool writeFileAtomically(const std::string& path, std::string_view bytes) {
  std::string temp = path + ".tmp-" + std::to_string(getpid());
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    if (!out) return false;
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) {
      std::remove(temp.c_str());
      return false;
    }
  }
  if (std::rename(temp.c_str(), path.c_str()) != 0) {
    std::remove(temp.c_str());
    return false;
  }
  return true;
}

std::string normalizeText(std::string bytes) {
  size_t start = bytes.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
  if (start == 0 && bytes.find('\r') == std::string::npos) return bytes;
  std::string out;
  out.reserve(bytes.size());
  for (size_t i = start; i < bytes.size(); i++) {
    if (bytes[i] != '\r') {
      out += bytes[i];
    } else {
      out += '\n';
      if (i + 1 < bytes.size() && bytes[i + 1] == '\n') i++;
    }
  }
  return out;
}

size_t findBadUtf8(std::string_view text) {
  const auto* s = reinterpret_cast<const unsigned char*>(text.data());
  size_t n = text.size();
  for (size_t i = 0; i < n;) {
    unsigned c = s[i];
    if (c == 0) return i;
    if (c < 0x80) {
      i++;
      continue;
    }
    int extra;
    if (c >= 0xC2 && c <= 0xDF) extra = 1;
    else if (c >= 0xE0 && c <= 0xEF) extra = 2;
    else if (c >= 0xF0 && c <= 0xF4) extra = 3;
    else return i;
    if (n - i <= static_cast<size_t>(extra)) return i;
    unsigned code = c & (0x3F >> extra);
    for (int k = 1; k <= extra; k++) {
      if ((s[i + k] & 0xC0) != 0x80) return i;
      code = code << 6 | (s[i + k] & 0x3F);
    }
    bool overlong = (extra == 2 && code < 0x800) || (extra == 3 && code < 0x10000);
    bool surrogate = code >= 0xD800 && code <= 0xDFFF;
    if (overlong || surrogate || code > 0x10FFFF) return i;
    i += extra + 1;
  }
  return std::string_view::npos;
}

int lineOf(std::string_view text, size_t offset) {
  int line = 1;
  for (size_t i = 0; i < offset && i < text.size(); i++)
    if (text[i] == '\n') line++;
  return line;
}

bool isIdentChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '$' ||
         static_cast<unsigned char>(c) >= 0x80;
}

char lowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool startsWithNoCase(std::string_view text, size_t pos, std::string_view word) {
  if (pos > text.size() || text.size() - pos < word.size()) return false;
  for (size_t k = 0; k < word.size(); k++)
    if (lowerAscii(text[pos + k]) != word[k]) return false;
  return true;
}

size_t findNoCase(std::string_view text, std::string_view word, size_t pos) {
  for (size_t i = pos; i + word.size() <= text.size(); i++) {
    if (lowerAscii(text[i]) == word[0] && startsWithNoCase(text, i, word)) return i;
  }
  return std::string_view::npos;
}

size_t skipBlanks(std::string_view text, size_t pos) {
  while (pos < text.size() && (text[pos] == ' ' || text[pos] == '\t')) pos++;
  return pos;
}
