// envrun: starts a program with a changed environment and current directory, waits for it and prints
// its full exit code ("exit=N"), which the shell would only see as its low eight bits.
//   envrun [-e NAME=VALUE]... [-u NAME]... [-d DIR] [-r SUBKEY]... -- APP [COMMANDLINE]
// -r first deletes the key HKEY_CURRENT_USER\SUBKEY (with its subkeys), to start from a clean slate.
// Without COMMANDLINE the program gets its quoted path as command line.
#include <windows.h>
#include <shellapi.h>

#include <string>

#include "out.h"

int main() {
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  const wchar_t* directory = nullptr;
  int i = 1;
  for (; i < argc; i++) {
    const std::wstring arg = argv[i];
    if (arg == L"--") break;
    if (i + 1 >= argc) return 120;
    const std::wstring value = argv[++i];
    if (arg == L"-e") {
      const size_t eq = value.find(L'=', 1);
      if (eq == std::wstring::npos) return 121;
      SetEnvironmentVariableW(value.substr(0, eq).c_str(), value.substr(eq + 1).c_str());
    } else if (arg == L"-u") {
      SetEnvironmentVariableW(value.c_str(), nullptr);
    } else if (arg == L"-d") {
      directory = argv[i];
    } else if (arg == L"-r") {
      RegDeleteTreeW(HKEY_CURRENT_USER, value.c_str());
    } else {
      return 122;
    }
  }
  if (i + 1 >= argc) return 123;
  const std::wstring app = argv[i + 1];
  std::wstring command = i + 2 < argc ? std::wstring(argv[i + 2]) : L"\"" + app + L"\"";
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process = {};
  if (!CreateProcessW(app.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, directory, &startup, &process)) {
    writeLine(L"start-failed=" + std::to_wstring(GetLastError()));
    return 124;
  }
  CloseHandle(process.hThread);
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD code = 0;
  GetExitCodeProcess(process.hProcess, &code);
  writeLine(L"exit=" + std::to_wstring(code));
  return int(code);
}
