// The launcher's Edge start-up text: the document's file address and the Edge command line.
#pragma once
#include "common/wtext.h"

constexpr int kDocumentUrlCap = 4096;  // 4,095 characters
constexpr int kCommandLineCap = 6144;  // 6,143 characters

// "file:///" + path with "\" as "/" and blank, "#", "%", "?" escaped; everything else as it is.
inline void appendFileAddress(WBuf& url, const wchar_t* path) {
  append(url, L"file:///");
  for (; *path; path++) {
    switch (*path) {
      case L'\\': appendChar(url, L'/'); break;
      case L' ': append(url, L"%20"); break;
      case L'#': append(url, L"%23"); break;
      case L'%': append(url, L"%25"); break;
      case L'?': append(url, L"%3F"); break;
      default: appendChar(url, *path);
    }
  }
}

// "<edge>" --no-first-run --no-default-browser-check --disable-background-mode --user-data-dir="<profile>" --app="<url>"
inline void appendEdgeCommandLine(WBuf& cmd, const wchar_t* edge, const wchar_t* profile, const wchar_t* url) {
  appendChar(cmd, L'"');
  append(cmd, edge);
  append(cmd, L"\" --no-first-run --no-default-browser-check --disable-background-mode --user-data-dir=\"");
  append(cmd, profile);
  append(cmd, L"\" --app=\"");
  append(cmd, url);
  appendChar(cmd, L'"');
}
