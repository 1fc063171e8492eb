// The installed layout every Kinloom program agrees on: names, folders, registry key, profile folder,
// the rule for finding the local application-data folder, and the message boxes.
#pragma once
#include <windows.h>
#include <shlobj.h>

#include "wtext.h"

constexpr int kPathCap = 2048;  // every path buffer: 2,047 characters and the terminator

constexpr wchar_t kCaption[] = L"Kinloom \u2014 Windows Preview";
constexpr wchar_t kInstallSubPath[] = L"\\Programs\\Kinloom";
constexpr wchar_t kLauncherName[] = L"Kinloom.exe";
constexpr wchar_t kDocumentName[] = L"Kinloom.html";
constexpr wchar_t kUninstallerName[] = L"Uninstall_Kinloom.exe";
constexpr wchar_t kShortcutName[] = L"Kinloom.lnk";
constexpr wchar_t kUninstallKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Kinloom";
constexpr wchar_t kProfileSubPath[] = L"Kinloom\\BrowserProfile";
constexpr wchar_t kDisplayName[] = L"Kinloom";
constexpr wchar_t kPublisher[] = L"Kinloom";
constexpr wchar_t kDisplayVersion[] = L"0.9.0-preview.2";
constexpr wchar_t kShortcutDescription[] = L"Open Kinloom";

// Environment buffer for "LOCALAPPDATA": setup and uninstaller, and the launcher's profile folder.
constexpr int kLocalAppDataEnvCap = 1948;
constexpr int kLauncherLocalAppDataEnvCap = 1898;

// Sets out to the shell folder csidl; false (and out empty) when the shell does not know it.
inline bool shellFolder(WBuf& out, int csidl) {
  truncate(out, 0);
  if (out.cap < MAX_PATH || FAILED(SHGetFolderPathW(nullptr, csidl, nullptr, 0, out.s))) {
    truncate(out, 0);
    return false;
  }
  out.s[out.cap - 1] = 0;
  out.len = wlen(out.s);
  return true;
}

// Sets out to the local application-data folder: "LOCALAPPDATA" when it is 1 to envCap - 1 characters
// long, else the shell folder. False (and out empty) when neither is available.
inline bool resolveLocalAppData(WBuf& out, int envCap) {
  truncate(out, 0);
  if (envCap > out.cap) envCap = out.cap;
  const DWORD n = GetEnvironmentVariableW(L"LOCALAPPDATA", out.s, DWORD(envCap));
  if (n >= 1 && n <= DWORD(envCap - 1)) {
    out.len = int(n);
    out.s[out.len] = 0;
    return true;
  }
  return shellFolder(out, CSIDL_LOCAL_APPDATA);
}

inline bool askYesNo(const wchar_t* text, UINT icon) {
  return MessageBoxW(nullptr, text, kCaption, MB_YESNO | icon) == IDYES;
}

inline void showError(const wchar_t* text) { MessageBoxW(nullptr, text, kCaption, MB_OK | MB_ICONERROR); }

// Shows the error (when there is one) and gives back the exit code, for "return fail(...)".
inline int fail(const wchar_t* text, int code) {
  if (text) showError(text);
  return code;
}
