// Silent switches of the setup program. The program name is skipped (a quoted name up to and past
// its closing quote, else up to the first blank); the rest is split at blanks, tabs, carriage returns
// and line feeds, and a whole token matching a switch (ignoring the case of A to Z) selects silent mode.
#pragma once
#include "common/wtext.h"

inline bool isCommandBlank(wchar_t c) { return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n'; }

inline bool isSilentSwitch(const wchar_t* token, int len) {
  static const wchar_t* const switches[] = {L"/quiet", L"/silent", L"/s", L"--quiet", L"--silent"};
  for (const wchar_t* s : switches)
    if (equalsIgnoringAsciiCase(token, len, s)) return true;
  return false;
}

// True when the full command line (program name first) carries a silent switch.
inline bool hasSilentSwitch(const wchar_t* commandLine) {
  const wchar_t* p = commandLine;
  if (*p == L'"') {
    p++;
    while (*p && *p != L'"') p++;
    if (*p) p++;
  } else {
    while (*p && !isCommandBlank(*p)) p++;
  }
  while (*p) {
    while (isCommandBlank(*p)) p++;
    const wchar_t* token = p;
    while (*p && !isCommandBlank(*p)) p++;
    if (p > token && isSilentSwitch(token, int(p - token))) return true;
  }
  return false;
}
