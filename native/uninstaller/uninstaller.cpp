// Uninstall_Kinloom.exe: removes the installation in two stages. The first stage (started from the
// installation folder) asks, copies itself to the temporary folder and starts the copy with
// "--cleanup"; the copy waits for the first stage to end, then deletes the files, shortcuts,
// registration and the emptied folder. The browser profile with the user's trees is never touched.
// Exit codes: 0 done or declined, 1 installation folder unknown, 2 own path unreadable, 3 no temporary
// folder, 4 copy failed, 5 copy did not start.
#include "common/nocrt.h"

#include "common/layout.h"
#include "uninstaller/stages.h"

namespace {

constexpr wchar_t kUninstallQuestion[] =
    L"Uninstall Kinloom?\n\nThis removes the application and its shortcuts, but DOES NOT delete your saved "
    L"family trees, photos, or backups.\n\nClose Kinloom before continuing.";
constexpr wchar_t kNoInstallFolderError[] = L"Cannot determine the protected app installation directory.";
constexpr wchar_t kNoSelfError[] = L"Unable to identify the uninstaller executable.";
constexpr wchar_t kNoTempError[] = L"Cannot access the temporary directory for uninstall.";
constexpr wchar_t kCopyError[] = L"Unable to prepare the uninstaller. Close the application and try again.";
constexpr wchar_t kStartError[] = L"Unable to run the uninstaller cleanup stage.";
constexpr wchar_t kRemovedNotice[] =
    L"Kinloom app files have been removed.\n\nYour family-tree saves and photos are still preserved in:\n"
    L"%LOCALAPPDATA%\\Kinloom\\BrowserProfile\\\n\nAny remaining files in the installation folder can be "
    L"removed manually.";

constexpr int kSelfCap = 2038;
constexpr int kTempCap = 1948;
constexpr DWORD kFirstStageGraceMs = 900;

wchar_t gSelf[kSelfCap];
wchar_t gTemp[kTempCap];
wchar_t gCopy[kPathCap];
wchar_t gCommand[kPathCap];
wchar_t gFolder[kPathCap];
wchar_t gPath[kPathCap];

int firstStage() {
  if (!askYesNo(kUninstallQuestion, MB_ICONQUESTION)) return 0;
  const DWORD n = GetTempPathW(kTempCap, gTemp);
  if (n == 0 || n >= DWORD(kTempCap)) return fail(kNoTempError, 3);

  WBuf copy = wbuf(gCopy, kPathCap);
  appendTempCopyPath(copy, gTemp, GetCurrentProcessId());
  if (!CopyFileW(gSelf, copy.s, FALSE)) return fail(kCopyError, 4);

  WBuf command = wbuf(gCommand, kPathCap);
  appendChar(command, L'"');
  append(command, copy.s);
  append(command, L"\" ");
  append(command, kCleanupSwitch);
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process = {};
  if (!CreateProcessW(copy.s, command.s, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
    return fail(kStartError, 5);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return 0;
}

void deleteInFolder(const WBuf& folder, const wchar_t* name) {
  WBuf path = wbuf(gPath, kPathCap);
  append(path, folder.s);
  appendPath(path, name);
  DeleteFileW(path.s);
}

void deleteShortcut(int csidl) {
  WBuf path = wbuf(gPath, kPathCap);
  if (!shellFolder(path, csidl)) return;
  appendPath(path, kShortcutName);
  DeleteFileW(path.s);
}

// The copy inherits the first stage's current directory, which is the installation folder when the
// uninstaller was started from there (a double-click in that folder). A process's current directory
// cannot be removed, so the cleanup stage works from its own folder instead.
void leaveCurrentDirectory() {
  WBuf own = wbuf(gPath, kPathCap);
  append(own, gSelf);
  truncate(own, lastSeparator(own) + 1);
  if (own.len) SetCurrentDirectoryW(own.s);
}

int cleanupStage() {
  Sleep(kFirstStageGraceMs);
  WBuf folder = wbuf(gFolder, kPathCap);
  resolveLocalAppData(folder, kLocalAppDataEnvCap);
  append(folder, kInstallSubPath);
  // Without a base the path would be relative to a drive root: delete nothing.
  if (folder.len <= wlen(kInstallSubPath)) return fail(kNoInstallFolderError, 1);
  leaveCurrentDirectory();

  deleteInFolder(folder, kLauncherName);
  deleteInFolder(folder, kDocumentName);
  deleteInFolder(folder, kUninstallerName);
  deleteShortcut(CSIDL_PROGRAMS);
  deleteShortcut(CSIDL_DESKTOPDIRECTORY);
  RegDeleteKeyW(HKEY_CURRENT_USER, kUninstallKey);
  RemoveDirectoryW(folder.s);
  MessageBoxW(nullptr, kRemovedNotice, kCaption, MB_OK | MB_ICONINFORMATION);
  return 0;
}

}  // namespace

int run() {
  const DWORD n = GetModuleFileNameW(nullptr, gSelf, kSelfCap);
  if (n == 0) return fail(kNoSelfError, 2);
  gSelf[n < DWORD(kSelfCap) ? n : kSelfCap - 1] = 0;
  return isCleanupStage(GetCommandLineW()) ? cleanupStage() : firstStage();
}
