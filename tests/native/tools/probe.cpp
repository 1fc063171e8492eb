// probe: reads back what setup wrote, the way Windows itself reads it. Takes any number of queries
// and answers each under a "[lnk PATH]" or "[reg SUBKEY]" header line:
//   lnk PATH     the shortcut through the shell link object: path, arguments, description, working
//                folder, icon (one "key=value" line each), or "unreadable"
//   reg SUBKEY   the values of HKEY_CURRENT_USER\SUBKEY (as wine enumerates them): "name|type|bytes|data",
//                or "missing"
//   del SUBKEY   deletes HKEY_CURRENT_USER\SUBKEY with its subkeys
#include <windows.h>
#include <objbase.h>
#include <objidl.h>
#include <shellapi.h>
#include <shlobj.h>

#include <string>

#include "out.h"

namespace {

int shortcut(const wchar_t* path) {
  IShellLinkW* link = nullptr;
  IPersistFile* file = nullptr;
  if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                              reinterpret_cast<void**>(&link))) ||
      FAILED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file))) ||
      FAILED(file->Load(path, STGM_READ))) {
    writeLine(L"unreadable");
    return 1;
  }
  wchar_t text[4096];
  int icon = -1;
  text[0] = 0;
  link->GetPath(text, 4096, nullptr, SLGP_RAWPATH);
  writeLine(std::wstring(L"path=") + text);
  text[0] = 0;
  link->GetArguments(text, 4096);
  writeLine(std::wstring(L"arguments=") + text);
  text[0] = 0;
  link->GetDescription(text, 4096);
  writeLine(std::wstring(L"description=") + text);
  text[0] = 0;
  link->GetWorkingDirectory(text, 4096);
  writeLine(std::wstring(L"workdir=") + text);
  text[0] = 0;
  link->GetIconLocation(text, 4096, &icon);
  writeLine(std::wstring(L"icon=") + text + L"," + std::to_wstring(icon));
  file->Release();
  link->Release();
  return 0;
}

int registryValues(const wchar_t* subkey) {
  HKEY key;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, subkey, 0, KEY_READ, &key) != ERROR_SUCCESS) {
    writeLine(L"missing");
    return 1;
  }
  for (DWORD index = 0;; index++) {
    wchar_t name[512];
    BYTE data[8192];
    DWORD nameLen = 512, type = 0, size = sizeof(data);
    if (RegEnumValueW(key, index, name, &nameLen, nullptr, &type, data, &size) != ERROR_SUCCESS) break;
    std::wstring shown;
    if (type == REG_SZ || type == REG_EXPAND_SZ) shown.assign(reinterpret_cast<wchar_t*>(data), size / 2);
    if (!shown.empty() && shown.back() == 0) shown.pop_back();
    if (type == REG_DWORD) shown = std::to_wstring(*reinterpret_cast<DWORD*>(data));
    writeLine(std::wstring(name) + L"|" + std::to_wstring(type) + L"|" + std::to_wstring(size) + L"|" + shown);
  }
  RegCloseKey(key);
  return 0;
}

}  // namespace

int main() {
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  if (argc < 3 || argc % 2 == 0) {
    writeLine(L"usage: probe (lnk PATH | reg SUBKEY | del SUBKEY)...");
    return 2;
  }
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::wstring query = argv[i];
    writeLine(L"[" + query + L" " + argv[i + 1] + L"]");
    if (query == L"lnk") shortcut(argv[i + 1]);
    else if (query == L"reg") registryValues(argv[i + 1]);
    else if (query == L"del") RegDeleteTreeW(HKEY_CURRENT_USER, argv[i + 1]);
    else writeLine(L"unknown query");
  }
  return 0;
}
