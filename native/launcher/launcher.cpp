// Kinloom.exe: opens Kinloom.html from its own folder in a Microsoft Edge app window with a browser
// profile of its own, waits for Edge to end and returns Edge's exit code.
// Exit codes on failure: 1 own path unreadable, 2 document missing, 3 no Edge, 4 no local
// application-data folder, 5 Edge did not start.
#include "common/nocrt.h"

#include "common/layout.h"
#include "launcher/edge_command.h"

namespace {

constexpr wchar_t kNoFolderError[] = L"Unable to locate the application folder.";
constexpr wchar_t kNoDocumentError[] =
    L"The application HTML file is missing. Keep Kinloom.exe and Kinloom.html in the same folder.";
constexpr wchar_t kNoEdgeError[] =
    L"Microsoft Edge was not found. Install or repair Microsoft Edge to run this Windows preview. Your "
    L"family-tree data has not been changed.";
constexpr wchar_t kNoLocalDataError[] = L"Your local user data location is unavailable.";
constexpr wchar_t kEdgeStartError[] =
    L"Microsoft Edge could not start Kinloom. Check the Edge installation and try again. Your saved family "
    L"trees have not been changed.";

constexpr int kModuleCap = 1898;  // the application folder keeps at most 1,897 characters
constexpr int kEdgeBaseCap = 1798;
constexpr wchar_t kEdgeSubPath[] = L"\\Microsoft\\Edge\\Application\\msedge.exe";
// Probed in this order; the first that holds an msedge.exe file wins.
const wchar_t* const kEdgeBases[] = {L"ProgramFiles(x86)", L"ProgramFiles", L"LOCALAPPDATA"};

wchar_t gAppFolder[kModuleCap];
wchar_t gDocument[kPathCap];
wchar_t gEdge[kPathCap];
wchar_t gProfile[kPathCap];
wchar_t gUrl[kDocumentUrlCap];
wchar_t gCommand[kCommandLineCap];

bool isFile(const wchar_t* path) {
  const DWORD attributes = GetFileAttributesW(path);
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// Sets edge to the first msedge.exe under the probed folders; false when there is none.
bool findEdge(WBuf& edge) {
  for (const wchar_t* variable : kEdgeBases) {
    truncate(edge, 0);
    const DWORD n = GetEnvironmentVariableW(variable, edge.s, kEdgeBaseCap);
    if (n == 0 || n >= DWORD(kEdgeBaseCap)) continue;
    edge.len = int(n);
    edge.s[edge.len] = 0;
    append(edge, kEdgeSubPath);
    if (isFile(edge.s)) return true;
  }
  truncate(edge, 0);
  return false;
}

}  // namespace

int run() {
  const DWORD n = GetModuleFileNameW(nullptr, gAppFolder, kModuleCap);
  if (n == 0) return fail(kNoFolderError, 1);
  WBuf appFolder = {gAppFolder, n < DWORD(kModuleCap) ? int(n) : kModuleCap - 1, kModuleCap};
  gAppFolder[appFolder.len] = 0;
  truncate(appFolder, lastSeparator(appFolder));

  WBuf document = wbuf(gDocument, kPathCap);
  append(document, appFolder.s);
  appendPath(document, kDocumentName);
  if (!isFile(document.s)) return fail(kNoDocumentError, 2);

  WBuf edge = wbuf(gEdge, kPathCap);
  if (!findEdge(edge)) return fail(kNoEdgeError, 3);

  WBuf profile = wbuf(gProfile, kPathCap);
  if (!resolveLocalAppData(profile, kLauncherLocalAppDataEnvCap)) return fail(kNoLocalDataError, 4);
  appendPath(profile, kProfileSubPath);

  WBuf url = wbuf(gUrl, kDocumentUrlCap);
  appendFileAddress(url, document.s);
  WBuf command = wbuf(gCommand, kCommandLineCap);
  appendEdgeCommandLine(command, edge.s, profile.s, url.s);

  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process = {};
  if (!CreateProcessW(edge.s, command.s, nullptr, nullptr, FALSE, 0, nullptr, appFolder.len ? appFolder.s : nullptr,
                      &startup, &process))
    return fail(kEdgeStartError, 5);
  CloseHandle(process.hThread);
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD exitCode = 0;
  if (!GetExitCodeProcess(process.hProcess, &exitCode)) exitCode = 0;
  CloseHandle(process.hProcess);
  return int(exitCode);
}
