// KinloomSetup: installs Kinloom for the current user. Asks first (unless a silent switch is given),
// writes the three payload files into the installation folder, creates the Start Menu and desktop
// shortcuts, registers the uninstall entry and offers to start the launcher.
// Exit codes: 0 installed or declined, 2 installation folder not created, 3 a payload file not written.
#include "common/nocrt.h"

#include <objbase.h>
#include <objidl.h>
#include <shlobj.h>

#include "common/layout.h"
#include "setup/payload.h"
#include "setup/silent_switch.h"

namespace {

constexpr wchar_t kInstallQuestion[] =
    L"Install Kinloom for this Windows user?\n\nLocation: %LOCALAPPDATA%\\Programs\\Kinloom\\\n"
    L"Shortcuts: Desktop and Start Menu\n\nExisting app files will be updated. Your saved family trees live "
    L"in a separate folder and will not be deleted.";
constexpr wchar_t kFolderError[] = L"Unable to create the app directory. Check folder permissions.";
constexpr wchar_t kWriteError[] =
    L"Installation could not finish. Close any open Kinloom windows, then run setup again. Your existing "
    L"family-tree data has not been removed.";
constexpr wchar_t kDoneQuestion[] =
    L"Kinloom is installed!\n\nLaunch it using the Desktop or Start Menu shortcut.\nTo remove the app, open "
    L"Windows Settings > Installed apps.\n\nYour family-tree data is stored separately and is preserved during "
    L"updates and uninstall.\n\nLaunch Kinloom now?";
constexpr wchar_t kLaunchError[] =
    L"Installation succeeded but the app did not start. Try its Desktop shortcut. Microsoft Edge must be "
    L"installed.";

constexpr DWORD kWriteChunk = 1048576;

struct PayloadFile {
  int resource;
  const wchar_t* name;
};

// In the order written.
constexpr PayloadFile kPayload[] = {
    {KLN_PAYLOAD_DOCUMENT, kDocumentName},
    {KLN_PAYLOAD_LAUNCHER, kLauncherName},
    {KLN_PAYLOAD_UNINSTALLER, kUninstallerName},
};
constexpr int kPayloadCount = sizeof(kPayload) / sizeof(kPayload[0]);

wchar_t gFolder[kPathCap];
wchar_t gParent[kPathCap];
wchar_t gTargets[kPayloadCount][kPathCap];
wchar_t gShortcut[kPathCap];
wchar_t gQuoted[kPathCap];

WBuf copyOf(wchar_t* storage, const WBuf& from) {
  WBuf b = wbuf(storage, kPathCap);
  append(b, from.s);
  return b;
}

// The payload blob compiled into this program; false when it is missing.
bool payloadBytes(int resource, const BYTE** data, DWORD* size) {
  HRSRC found = FindResourceW(nullptr, MAKEINTRESOURCEW(resource), MAKEINTRESOURCEW(10));  // RT_RCDATA
  HGLOBAL loaded = found ? LoadResource(nullptr, found) : nullptr;
  *data = loaded ? static_cast<const BYTE*>(LockResource(loaded)) : nullptr;
  *size = found ? SizeofResource(nullptr, found) : 0;
  return *data != nullptr;
}

// Writes the bytes to path (replacing any file), in chunks that must each be written whole.
bool writeWhole(const wchar_t* path, const BYTE* data, DWORD size) {
  HANDLE file = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  for (DWORD done = 0; done < size;) {
    const DWORD chunk = size - done < kWriteChunk ? size - done : kWriteChunk;
    DWORD written = 0;
    if (!WriteFile(file, data + done, chunk, &written, nullptr) || written != chunk) {
      CloseHandle(file);
      return false;
    }
    done += chunk;
  }
  CloseHandle(file);
  return true;
}

// Start Menu or desktop shortcut to the launcher; every failure is silent.
void createShortcut(int csidl, const wchar_t* launcher, const wchar_t* folder) {
  WBuf path = wbuf(gShortcut, kPathCap);
  if (!shellFolder(path, csidl)) return;
  appendPath(path, kShortcutName);
  IShellLinkW* link = nullptr;
  if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                              reinterpret_cast<void**>(&link))))
    return;
  link->SetPath(launcher);
  link->SetDescription(kShortcutDescription);
  link->SetWorkingDirectory(folder);
  link->SetIconLocation(launcher, 0);
  IPersistFile* file = nullptr;
  if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
    file->Save(path.s, TRUE);
    file->Release();
  }
  link->Release();
}

void setString(HKEY key, const wchar_t* name, const wchar_t* text) {
  RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text), DWORD((wlen(text) + 1) * sizeof(wchar_t)));
}

void setDword(HKEY key, const wchar_t* name, DWORD value) {
  RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof(value));
}

// The uninstall entry; skipped without a word when the key cannot be opened.
void registerUninstall(const WBuf& folder, const wchar_t* launcher, const wchar_t* uninstaller, DWORD sizeKiB) {
  HKEY key;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, kUninstallKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) !=
      ERROR_SUCCESS)
    return;
  WBuf quoted = wbuf(gQuoted, kPathCap);
  appendChar(quoted, L'"');
  append(quoted, uninstaller);
  appendChar(quoted, L'"');
  setString(key, L"DisplayName", kDisplayName);
  setString(key, L"DisplayVersion", kDisplayVersion);
  setString(key, L"Publisher", kPublisher);
  setString(key, L"InstallLocation", folder.s);
  setString(key, L"DisplayIcon", launcher);
  setString(key, L"UninstallString", quoted.s);
  setDword(key, L"NoModify", 1);
  setDword(key, L"NoRepair", 1);
  setDword(key, L"EstimatedSize", sizeKiB);
  RegCloseKey(key);
}

void startLauncher(const wchar_t* launcher, const wchar_t* folder) {
  WBuf command = wbuf(gQuoted, kPathCap);
  appendChar(command, L'"');
  append(command, launcher);
  appendChar(command, L'"');
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process = {};
  if (!CreateProcessW(launcher, command.s, nullptr, nullptr, FALSE, 0, nullptr, folder, &startup, &process)) {
    showError(kLaunchError);
    return;
  }
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
}

}  // namespace

int run() {
  const bool interactive = !hasSilentSwitch(GetCommandLineW());
  if (interactive && !askYesNo(kInstallQuestion, MB_ICONQUESTION)) return 0;

  WBuf folder = wbuf(gFolder, kPathCap);
  resolveLocalAppData(folder, kLocalAppDataEnvCap);
  append(folder, kInstallSubPath);
  WBuf parent = copyOf(gParent, folder);
  truncate(parent, lastSeparator(parent));
  CreateDirectoryW(parent.s, nullptr);
  if (!CreateDirectoryW(folder.s, nullptr)) {
    const DWORD attributes = GetFileAttributesW(folder.s);
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY))
      return fail(interactive ? kFolderError : nullptr, 2);
  }

  unsigned long long totalBytes = 0;
  for (int i = 0; i < kPayloadCount; i++) {
    WBuf target = copyOf(gTargets[i], folder);
    appendPath(target, kPayload[i].name);
    const BYTE* data;
    DWORD size;
    if (!payloadBytes(kPayload[i].resource, &data, &size) || !writeWhole(target.s, data, size))
      return fail(interactive ? kWriteError : nullptr, 3);
    totalBytes += size;
  }
  const wchar_t* launcher = gTargets[1];
  const wchar_t* uninstaller = gTargets[2];

  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  createShortcut(CSIDL_PROGRAMS, launcher, folder.s);
  createShortcut(CSIDL_DESKTOPDIRECTORY, launcher, folder.s);
  CoUninitialize();

  registerUninstall(folder, launcher, uninstaller, DWORD((totalBytes + 1023) / 1024));

  if (interactive && askYesNo(kDoneQuestion, MB_ICONINFORMATION)) startLauncher(launcher, folder.s);
  return 0;
}
