// Small text helpers: reading files, the byte rules of the HTML parser, case-insensitive matching.
#pragma once
#include <string>
#include <string_view>

// Reads a whole file as bytes; false when it cannot be read.
bool readFile(const std::string& path, std::string& bytes);
// Writes bytes to a temporary file beside path and renames it over path, so readers never see half a file.
bool writeFileAtomically(const std::string& path, std::string_view bytes);

// Drops a UTF-8 byte order mark and turns CR LF and lone CR into LF, as the HTML parser does before a
// script's text is hashed for the Content Security Policy.
std::string normalizeText(std::string bytes);
// Offset of the first byte that breaks UTF-8 (or a NUL), or npos when the text is clean.
size_t findBadUtf8(std::string_view text);

// 1-based line number of a byte offset.
int lineOf(std::string_view text, size_t offset);

bool isIdentChar(char c);
char lowerAscii(char c);
// True when text at pos starts with word, ignoring ASCII case (word is given in lower case).
bool startsWithNoCase(std::string_view text, size_t pos, std::string_view word);
// Position of the first case-insensitive match of word (lower case) at or after pos, or npos.
size_t findNoCase(std::string_view text, std::string_view word, size_t pos = 0);
// Index of the first character at or after pos that is not a space or tab.
size_t skipBlanks(std::string_view text, size_t pos);
