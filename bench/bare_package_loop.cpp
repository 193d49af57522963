// The anchor of the package benchmark: the same three steps the engine
// takes, written as plainly as the platform allows, with none of the
// engine's code. One WinINet GET read in 8192-byte pieces into a file,
// WinVerifyTrust on it, one FDICopy of the whole cabinet into a folder.
//   bare_package_loop.exe URL WORKFOLDER
// Prints "total_seconds=S" and exits 0, or names the step that failed.
#include <windows.h>
#include <fcntl.h>
#include <fdi.h>
#include <io.h>
#include <softpub.h>
#include <sys/stat.h>
#include <wininet.h>
#include <wintrust.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "bench_support.h"

namespace {

std::string g_folder;  // where FDICopy writes, with a trailing "\"

bool Download(const char* url, const std::string& path) {
  HINTERNET internet = InternetOpenA("bare", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
  HINTERNET request = internet ? InternetOpenUrlA(internet, url, nullptr, 0,
                                                  INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE, 0)
                               : nullptr;
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  bool ok = request != nullptr && file != INVALID_HANDLE_VALUE;
  char buffer[8192];
  DWORD count = 0;
  while (ok && (ok = InternetReadFile(request, buffer, sizeof(buffer), &count) != FALSE) && count > 0) {
    DWORD written = 0;
    ok = WriteFile(file, buffer, count, &written, nullptr) && written == count;
  }
  if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  if (request) InternetCloseHandle(request);
  if (internet) InternetCloseHandle(internet);
  return ok;
}

bool Verify(const std::string& path) {
  std::wstring wide(path.begin(), path.end());
  WINTRUST_FILE_INFO file = {};
  file.cbStruct = sizeof(file);
  file.pcwszFilePath = wide.c_str();
  WINTRUST_DATA data = {};
  data.cbStruct = sizeof(data);
  data.dwUIChoice = WTD_UI_NONE;
  data.dwUnionChoice = WTD_CHOICE_FILE;
  data.pFile = &file;
  GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
  return WinVerifyTrust(nullptr, &action, &data) >= 0;
}

void* __cdecl Alloc(ULONG size) { return std::malloc(size); }
void __cdecl Free(void* block) { std::free(block); }
INT_PTR __cdecl Open(char* path, int flags, int mode) { return _open(path, flags, mode); }
UINT __cdecl Read(INT_PTR fd, void* buffer, UINT count) { return _read(static_cast<int>(fd), buffer, count); }
UINT __cdecl Write(INT_PTR fd, void* buffer, UINT count) { return _write(static_cast<int>(fd), buffer, count); }
int __cdecl Close(INT_PTR fd) { return _close(static_cast<int>(fd)); }
LONG __cdecl Seek(INT_PTR fd, LONG distance, int origin) { return _lseek(static_cast<int>(fd), distance, origin); }

INT_PTR __cdecl Notify(FDINOTIFICATIONTYPE type, PFDINOTIFICATION note) {
  if (type == fdintCOPY_FILE) {
    std::string path = g_folder + note->psz1;
    for (size_t at = path.find('\\', g_folder.size()); at != std::string::npos; at = path.find('\\', at + 1))
      CreateDirectoryA(path.substr(0, at).c_str(), nullptr);
    return _open(path.c_str(), _O_WRONLY | _O_CREAT | _O_TRUNC | _O_BINARY, _S_IREAD | _S_IWRITE);
  }
  if (type == fdintCLOSE_FILE_INFO) {
    _close(static_cast<int>(note->hf));
    return TRUE;
  }
  return 0;
}

bool Extract(const std::string& path) {
  ERF erf = {};
  HFDI fdi = FDICreate(Alloc, Free, Open, Read, Write, Close, Seek, cpu80386, &erf);
  if (fdi == nullptr) return false;
  const size_t slash = path.rfind('\\');
  std::string name = path.substr(slash + 1);
  std::string folder = path.substr(0, slash + 1);
  const BOOL ok = FDICopy(fdi, &name[0], &folder[0], 0, Notify, nullptr, nullptr);
  FDIDestroy(fdi);
  return ok != FALSE;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: bare_package_loop URL WORKFOLDER\n");
    return 2;
  }
  const std::string work = argv[2];
  CreateDirectoryA(work.c_str(), nullptr);
  const std::string package = work + "\\package.cab";
  g_folder = work + "\\x\\";
  CreateDirectoryA(g_folder.c_str(), nullptr);

  const auto start = std::chrono::steady_clock::now();
  const char* failed = !Download(argv[1], package) ? "download" : !Verify(package) ? "verify"
                       : !Extract(package)         ? "extract" : nullptr;
  const double seconds = SecondsSince(start);
  if (failed != nullptr) {
    std::fprintf(stderr, "bare loop: %s failed\n", failed);
    return 1;
  }
  std::printf("total_seconds=%.3f\n", seconds);
  return 0;
}
