// What a program without a language runtime still needs: the entry point, and memset/memcpy for the
// copies and clears the compiler emits on its own (zeroed structures). Include once, in the program's
// translation unit.
#pragma once
#include <windows.h>

extern "C" void* memset(void* dest, int value, size_t size) {
  unsigned char* d = static_cast<unsigned char*>(dest);
  while (size--) *d++ = static_cast<unsigned char>(value);
  return dest;
}

extern "C" void* memcpy(void* dest, const void* src, size_t size) {
  unsigned char* d = static_cast<unsigned char*>(dest);
  const unsigned char* s = static_cast<const unsigned char*>(src);
  while (size--) *d++ = *s++;
  return dest;
}

int run();

extern "C" void WinMainCRTStartup() { ExitProcess(UINT(run())); }
