// Table tests of the rules the native programs share: bounded text, the LOCALAPPDATA rule, silent
// switches, the document's file address, Edge's command line, the uninstaller's stage switch and
// temporary copy name. Runs under wine: rules_test GROUP; prints each failure, exits 1 if any.
#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <functional>
#include <map>
#include <string>

#include "common/layout.h"
#include "launcher/edge_command.h"
#include "setup/silent_switch.h"
#include "uninstaller/stages.h"
#include "../tools/out.h"

namespace {

int failures = 0;
int cases = 0;

std::wstring shown(const std::wstring& s) {
  if (s.size() <= 80) return s;
  return s.substr(0, 30) + L"...(" + std::to_wstring(s.size()) + L" chars)..." + s.substr(s.size() - 30);
}

void expectText(const std::wstring& label, const std::wstring& got, const std::wstring& want) {
  cases++;
  if (got == want) return;
  failures++;
  writeLine(L"FAIL " + label + L"\n  got:  " + shown(got) + L"\n  want: " + shown(want));
}

void expectTrue(const std::wstring& label, bool got, bool want) {
  cases++;
  if (got == want) return;
  failures++;
  writeLine(L"FAIL " + label + L": got " + (got ? L"true" : L"false"));
}

std::wstring repeat(wchar_t c, size_t n) { return std::wstring(n, c); }

// Bounded append, separators, decimal numbers, cutting, searching.
void textRules() {
  static wchar_t storage[kPathCap + 8];
  struct AppendCase {
    const wchar_t* label;
    std::wstring start, added;
    std::wstring want;
  };
  const AppendCase appends[] = {
      {L"fits", L"C:\\Users", L"\\x", L"C:\\Users\\x"},
      {L"fills to 2,047", repeat(L'a', 2000), repeat(L'b', 47), repeat(L'a', 2000) + repeat(L'b', 47)},
      {L"cut at 2,047", repeat(L'a', 2000), repeat(L'b', 100), repeat(L'a', 2000) + repeat(L'b', 47)},
      {L"full buffer takes nothing", repeat(L'a', 2047), L"xyz", repeat(L'a', 2047)},
      {L"empty addition", L"abc", L"", L"abc"},
  };
  for (const AppendCase& c : appends) {
    storage[kPathCap] = L'#';
    WBuf b = wbuf(storage, kPathCap);
    append(b, c.start.c_str());
    append(b, c.added.c_str());
    expectText(std::wstring(L"append: ") + c.label, b.s, c.want);
    expectTrue(std::wstring(L"append length: ") + c.label, b.len == int(c.want.size()), true);
    expectTrue(std::wstring(L"append stays in buffer: ") + c.label, storage[kPathCap] == L'#', true);
  }

  struct PathCase {
    const wchar_t* label;
    size_t startLength;
    std::wstring want;
  };
  const PathCase paths[] = {
      {L"separator and name", 10, repeat(L'a', 10) + L"\\Kinloom.exe"},
      {L"name cut", 2040, repeat(L'a', 2040) + L"\\Kinloo"},
      {L"separator only", 2046, repeat(L'a', 2046) + L"\\"},
      {L"no room at all", 2047, repeat(L'a', 2047)},
  };
  for (const PathCase& c : paths) {
    WBuf b = wbuf(storage, kPathCap);
    append(b, repeat(L'a', c.startLength).c_str());
    appendPath(b, kLauncherName);
    expectText(std::wstring(L"appendPath: ") + c.label, b.s, c.want);
  }

  const std::pair<unsigned long, const wchar_t*> numbers[] = {
      {0, L"0"}, {7, L"7"}, {4312, L"4312"}, {4294967295ul, L"4294967295"}};
  for (const auto& [value, want] : numbers) {
    WBuf b = wbuf(storage, kPathCap);
    appendDecimal(b, value);
    expectText(L"appendDecimal " + std::to_wstring(value), b.s, want);
  }

  const std::pair<const wchar_t*, const wchar_t*> parents[] = {
      {L"C:\\Users\\me\\AppData\\Local\\Programs\\Kinloom", L"C:\\Users\\me\\AppData\\Local\\Programs"},
      {L"C:/mixed\\sep/Kinloom", L"C:/mixed\\sep"},
      {L"\\Programs\\Kinloom", L"\\Programs"},
      {L"Kinloom.exe", L""},
  };
  for (const auto& [path, want] : parents) {
    WBuf b = wbuf(storage, kPathCap);
    append(b, path);
    truncate(b, lastSeparator(b));
    expectText(std::wstring(L"parent of ") + path, b.s, want);
  }
}

// The rule for the local application-data folder: the variable when it fits its buffer, else the shell.
void localAppDataRules() {
  static wchar_t storage[kPathCap];
  wchar_t shell[MAX_PATH] = {};
  SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr, 0, shell);
  struct Case {
    const wchar_t* label;
    bool set;
    std::wstring value;
    int envCap;
    bool fromVariable;
  };
  const Case table[] = {
      {L"ordinary value", true, L"D:\\Data\\Local", kLocalAppDataEnvCap, true},
      {L"one character", true, L"X", kLocalAppDataEnvCap, true},
      {L"1,947 characters", true, L"C:\\" + repeat(L'v', 1944), kLocalAppDataEnvCap, true},
      {L"1,948 characters", true, L"C:\\" + repeat(L'v', 1945), kLocalAppDataEnvCap, false},
      {L"5,000 characters", true, L"C:\\" + repeat(L'v', 4997), kLocalAppDataEnvCap, false},
      {L"empty", true, L"", kLocalAppDataEnvCap, false},
      {L"unset", false, L"", kLocalAppDataEnvCap, false},
      {L"launcher: 1,897 characters", true, L"C:\\" + repeat(L'v', 1894), kLauncherLocalAppDataEnvCap, true},
      {L"launcher: 1,898 characters", true, L"C:\\" + repeat(L'v', 1895), kLauncherLocalAppDataEnvCap, false},
  };
  for (const Case& c : table) {
    SetEnvironmentVariableW(L"LOCALAPPDATA", c.set ? c.value.c_str() : nullptr);
    WBuf b = wbuf(storage, kPathCap);
    const bool found = resolveLocalAppData(b, c.envCap);
    expectTrue(std::wstring(L"LOCALAPPDATA found: ") + c.label, found, true);
    expectText(std::wstring(L"LOCALAPPDATA: ") + c.label, b.s, c.fromVariable ? c.value : std::wstring(shell));
    expectTrue(std::wstring(L"LOCALAPPDATA length: ") + c.label, b.len == wlen(b.s), true);
  }

  // With the folder appended: a 1,947-character base leaves room for the whole installation sub-path.
  SetEnvironmentVariableW(L"LOCALAPPDATA", (L"C:\\" + repeat(L'v', 1944)).c_str());
  WBuf b = wbuf(storage, kPathCap);
  resolveLocalAppData(b, kLocalAppDataEnvCap);
  append(b, kInstallSubPath);
  appendPath(b, kUninstallerName);
  expectText(L"installation path from a long base", b.s,
             L"C:\\" + repeat(L'v', 1944) + L"\\Programs\\Kinloom\\Uninstall_Kinloom.exe");
}

void silentSwitchRules() {
  const std::pair<const wchar_t*, bool> table[] = {
      {L"\"C:\\Setup\\KinloomSetup.exe\" /quiet", true},
      {L"KinloomSetup.exe /silent", true},
      {L"KinloomSetup.exe /s", true},
      {L"KinloomSetup.exe --quiet", true},
      {L"KinloomSetup.exe --silent", true},
      {L"KinloomSetup.exe /QUIET", true},
      {L"KinloomSetup.exe --Silent", true},
      {L"KinloomSetup.exe /S", true},
      {L"KinloomSetup.exe\t/quiet", true},
      {L"KinloomSetup.exe other\r\n/quiet", true},
      {L"KinloomSetup.exe first /s second", true},
      {L"\"C:\\My Setup\\KinloomSetup.exe\"/quiet", true},
      {L"KinloomSetup.exe", false},
      {L"KinloomSetup.exe /quiet2", false},
      {L"KinloomSetup.exe -quiet", false},
      {L"KinloomSetup.exe /silently", false},
      {L"KinloomSetup.exe -s", false},
      {L"KinloomSetup.exe \"/quiet\"", false},
      {L"KinloomSetup.exe /quiet/s", false},
      {L"C:\\Setup\\/quiet", false},
      {L"\"C:\\dir /quiet\\KinloomSetup.exe\"", false},
      {L"\"C:\\no closing quote /quiet", false},
      {L"", false},
      {L"KinloomSetup.exe /q\u0130et", false},  // only A to Z fold
  };
  for (const auto& [line, want] : table) expectTrue(std::wstring(L"silent switch in [") + line + L"]", hasSilentSwitch(line), want);
}

void addressRules() {
  static wchar_t storage[kDocumentUrlCap + 8];
  const std::pair<std::wstring, std::wstring> table[] = {
      {L"C:\\A B\\Kinloom.html", L"file:///C:/A%20B/Kinloom.html"},
      {L"C:\\Users\\me\\AppData\\Local\\Programs\\Kinloom\\Kinloom.html",
       L"file:///C:/Users/me/AppData/Local/Programs/Kinloom/Kinloom.html"},
      {L"C:\\x#1\\50%\\why?\\Kinloom.html", L"file:///C:/x%231/50%25/why%3F/Kinloom.html"},
      {L"C:\\Fam\u00edlia \u5bb6\\Kinloom.html", L"file:///C:/Fam\u00edlia%20\u5bb6/Kinloom.html"},
      {L"\\\\server\\share\\Kinloom.html", L"file://///server/share/Kinloom.html"},
      {L"C:/already/forward+&=;Kinloom.html", L"file:///C:/already/forward+&=;Kinloom.html"},
      {L"", L"file:///"},
  };
  for (const auto& [path, want] : table) {
    WBuf url = wbuf(storage, kDocumentUrlCap);
    appendFileAddress(url, path.c_str());
    expectText(L"file address of " + path, url.s, want);
  }
  // Escapes that pass the 4,095th character are cut like any other text.
  storage[kDocumentUrlCap] = L'#';
  WBuf url = wbuf(storage, kDocumentUrlCap);
  appendFileAddress(url, (L"C:\\" + repeat(L'x', 4082) + L" \\Kinloom.html").c_str());
  expectText(L"file address cut at 4,095", url.s, L"file:///C:/" + repeat(L'x', 4082) + L"%2");
  expectTrue(L"file address stays in buffer", storage[kDocumentUrlCap] == L'#', true);
}

void edgeCommandRules() {
  static wchar_t storage[kCommandLineCap];
  WBuf cmd = wbuf(storage, kCommandLineCap);
  appendEdgeCommandLine(cmd, L"C:\\Program Files (x86)\\Microsoft\\Edge\\Application\\msedge.exe",
                        L"C:\\Users\\me\\AppData\\Local\\Kinloom\\BrowserProfile", L"file:///C:/A%20B/Kinloom.html");
  expectText(L"edge command line", cmd.s,
             L"\"C:\\Program Files (x86)\\Microsoft\\Edge\\Application\\msedge.exe\" --no-first-run "
             L"--no-default-browser-check --disable-background-mode "
             L"--user-data-dir=\"C:\\Users\\me\\AppData\\Local\\Kinloom\\BrowserProfile\" "
             L"--app=\"file:///C:/A%20B/Kinloom.html\"");
  WBuf longCmd = wbuf(storage, kCommandLineCap);
  const std::wstring edge = L"C:\\" + repeat(L'e', 2000), profile = L"C:\\" + repeat(L'p', 2000);
  appendEdgeCommandLine(longCmd, edge.c_str(), profile.c_str(), (L"file:///" + repeat(L'u', 4000)).c_str());
  expectTrue(L"edge command line cut at 6,143", longCmd.len == 6143 && wlen(longCmd.s) == 6143, true);
}

void uninstallerRules() {
  static wchar_t storage[kPathCap];
  const std::pair<const wchar_t*, bool> stages[] = {
      {L"\"C:\\Temp\\KLN_Uninstaller4312.exe\" --cleanup", true},
      {L"Uninstall_Kinloom.exe --cleanup-now", true},
      {L"Uninstall_Kinloom.exe x--cleanupx", true},
      {L"\"C:\\Users\\me\\AppData\\Local\\Programs\\Kinloom\\Uninstall_Kinloom.exe\"", false},
      {L"Uninstall_Kinloom.exe --CLEANUP", false},
      {L"Uninstall_Kinloom.exe --clean-up", false},
      {L"Uninstall_Kinloom.exe /cleanup", false},
  };
  for (const auto& [line, want] : stages) expectTrue(std::wstring(L"cleanup stage for [") + line + L"]", isCleanupStage(line), want);

  const std::tuple<const wchar_t*, unsigned long, const wchar_t*> copies[] = {
      {L"C:\\Users\\me\\AppData\\Local\\Temp\\", 4312, L"C:\\Users\\me\\AppData\\Local\\Temp\\KLN_Uninstaller4312.exe"},
      {L"C:\\Temp\\", 8, L"C:\\Temp\\KLN_Uninstaller8.exe"},
      {L"C:\\Temp\\", 4294967292ul, L"C:\\Temp\\KLN_Uninstaller4294967292.exe"},
  };
  for (const auto& [folder, pid, want] : copies) {
    WBuf b = wbuf(storage, kPathCap);
    appendTempCopyPath(b, folder, pid);
    expectText(L"temporary copy for " + std::to_wstring(pid), b.s, want);
  }
}

}  // namespace

int main() {
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  const std::map<std::wstring, std::function<void()>> groups = {
      {L"text", textRules},          {L"localappdata", localAppDataRules}, {L"silent", silentSwitchRules},
      {L"address", addressRules},    {L"edgecommand", edgeCommandRules},   {L"uninstaller", uninstallerRules},
  };
  if (argc != 2 || !groups.count(argv[1])) {
    writeLine(L"usage: rules_test text|localappdata|silent|address|edgecommand|uninstaller");
    return 2;
  }
  groups.at(argv[1])();
  writeLine(std::to_wstring(cases - failures) + L" of " + std::to_wstring(cases) + L" cases passed");
  return failures ? 1 : 0;
}
