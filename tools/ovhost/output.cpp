#include "output.h"

#include <windows.h>

namespace {

CRITICAL_SECTION g_outputLock;  // keeps lines of the watcher and the page whole

}  // namespace

void InitOutput() { InitializeCriticalSection(&g_outputLock); }

void PrintLine(const std::wstring& line) {
  std::wstring text = line + L"\n";
  int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr,
                                 0, nullptr, nullptr);
  std::string bytes(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &bytes[0], size,
                      nullptr, nullptr);
  EnterCriticalSection(&g_outputLock);
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), bytes.data(), static_cast<DWORD>(bytes.size()),
            &written, nullptr);
  LeaveCriticalSection(&g_outputLock);
}
