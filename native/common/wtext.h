// Bounded UTF-16 text. A WBuf wraps a fixed buffer whose capacity counts the terminator; every append
// copies what fits, drops the rest and leaves the text terminated, so no step fails because of length.
#pragma once

struct WBuf {
  wchar_t* s;
  int len;
  int cap;
};

// An empty text in storage of cap characters (terminator included).
inline WBuf wbuf(wchar_t* storage, int cap) {
  storage[0] = 0;
  return {storage, 0, cap};
}

inline int wlen(const wchar_t* s) {
  int n = 0;
  while (s[n]) n++;
  return n;
}

inline void appendChar(WBuf& b, wchar_t c) {
  if (b.len < b.cap - 1) b.s[b.len++] = c;
  b.s[b.len] = 0;
}

inline void append(WBuf& b, const wchar_t* src) {
  while (*src && b.len < b.cap - 1) b.s[b.len++] = *src++;
  b.s[b.len] = 0;
}

// A separator (when there is room for it) and then the name, both bounded.
inline void appendPath(WBuf& b, const wchar_t* name) {
  appendChar(b, L'\\');
  append(b, name);
}

// An unsigned number in decimal, without leading zeros.
inline void appendDecimal(WBuf& b, unsigned long value) {
  wchar_t digits[24];
  int n = 0;
  do {
    digits[n++] = wchar_t(L'0' + value % 10);
    value /= 10;
  } while (value);
  while (n) appendChar(b, digits[--n]);
}

inline void truncate(WBuf& b, int len) {
  if (len < b.len) b.len = len < 0 ? 0 : len;
  b.s[b.len] = 0;
}

// Index of the last "\" or "/", or -1 when there is none.
inline int lastSeparator(const WBuf& b) {
  for (int i = b.len - 1; i >= 0; i--)
    if (b.s[i] == L'\\' || b.s[i] == L'/') return i;
  return -1;
}

// True when needle occurs in text, compared exactly.
inline bool contains(const wchar_t* text, const wchar_t* needle) {
  for (; *text; text++) {
    int i = 0;
    while (needle[i] && text[i] == needle[i]) i++;
    if (!needle[i]) return true;
  }
  return !*needle;
}

inline wchar_t asciiLower(wchar_t c) { return c >= L'A' && c <= L'Z' ? wchar_t(c + 32) : c; }

// True when the len characters at s equal word, ignoring the case of A to Z only.
inline bool equalsIgnoringAsciiCase(const wchar_t* s, int len, const wchar_t* word) {
  int i = 0;
  for (; i < len; i++)
    if (!word[i] || asciiLower(s[i]) != asciiLower(word[i])) return false;
  return !word[i];
}
