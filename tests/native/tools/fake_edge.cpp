// Stands in for msedge.exe in the launcher tests: writes its command line and current directory
// (UTF-8, one per line) to edge-run.txt beside itself, then exits with the code in FAKE_EDGE_EXIT.
// FAKE_EDGE_DELAY_MS makes it wait first, so that a test can see whether its starter waited.
#include <windows.h>

#include <string>

#include "out.h"

namespace {

std::wstring variable(const wchar_t* name) {
  wchar_t buffer[64];
  const DWORD n = GetEnvironmentVariableW(name, buffer, 64);
  return n && n < 64 ? std::wstring(buffer, n) : std::wstring();
}

}  // namespace

int main() {
  const std::wstring delay = variable(L"FAKE_EDGE_DELAY_MS");
  if (!delay.empty()) Sleep(DWORD(std::stoul(delay)));
  wchar_t self[4096], cwd[4096];
  DWORD n = GetModuleFileNameW(nullptr, self, 4096);
  std::wstring record = std::wstring(self, n);
  record = record.substr(0, record.find_last_of(L'\\') + 1) + L"edge-run.txt";
  GetCurrentDirectoryW(4096, cwd);
  const std::string text = utf8(GetCommandLineW()) + "\n" + utf8(cwd) + "\n";
  HANDLE file = CreateFileW(record.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  DWORD written = 0;
  WriteFile(file, text.data(), DWORD(text.size()), &written, nullptr);
  CloseHandle(file);
  const std::wstring code = variable(L"FAKE_EDGE_EXIT");
  return code.empty() ? 0 : int(std::stoul(code));
}
