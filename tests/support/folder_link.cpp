#include "folder_link.h"

#include <windows.h>

#include <winioctl.h>

#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

namespace {

std::wstring Wide(const std::string& text) {
  std::wstring wide(text.size() + 1, L'\0');
  const int length = MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, &wide[0],
                                         static_cast<int>(wide.size()));
  wide.resize(length > 0 ? length - 1 : 0);
  return wide;
}

// The mount-point form of a reparse point: a header, then the substitute
// name ("\??\C:\target") and an empty print name, each ending in a null.
bool MakeJunction(const std::string& link, const std::string& target) {
  if (!CreateDirectoryA(link.c_str(), nullptr)) return false;
  const std::wstring name = L"\\??\\" + Wide(target);
  const WORD nameBytes = static_cast<WORD>(name.size() * sizeof(wchar_t));
  const WORD dataBytes = static_cast<WORD>(4 * sizeof(WORD) + nameBytes + 2 * sizeof(wchar_t));
  std::vector<BYTE> buffer(8 + dataBytes);
  BYTE* data = buffer.data();
  const DWORD tag = IO_REPARSE_TAG_MOUNT_POINT;
  const WORD header[6] = {dataBytes, 0, 0, nameBytes,
                          static_cast<WORD>(nameBytes + sizeof(wchar_t)), 0};
  std::memcpy(data, &tag, 4);
  std::memcpy(data + 4, header, sizeof(header));
  std::memcpy(data + 16, name.c_str(), nameBytes);
  const HANDLE folder =
      CreateFileA(link.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                  FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  DWORD returned = 0;
  const bool made = folder != INVALID_HANDLE_VALUE &&
                    DeviceIoControl(folder, FSCTL_SET_REPARSE_POINT, data,
                                    static_cast<DWORD>(buffer.size()), nullptr, 0, &returned,
                                    nullptr);
  if (folder != INVALID_HANDLE_VALUE) CloseHandle(folder);
  if (!made) RemoveDirectoryA(link.c_str());
  return made;
}

// Runs the Unix program "Z:\bin\<program>" with the Unix names of paths
// as its arguments, after options: Wine's own export names the Unix file
// behind a Windows path, and Wine starts a Unix program as it would a
// Windows one. True when it started: Wine neither waits for its end nor
// passes on its exit code, so callers wait for what it does.
bool RunUnixCommand(const char* program, const char* options,
                    const std::vector<std::string>& paths) {
  typedef char*(CDECL * UnixFileName)(LPCWSTR);
  const auto unixFileName = reinterpret_cast<UnixFileName>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
  if (unixFileName == nullptr) return false;
  std::string command = std::string("Z:\\bin\\") + program + " " + options;
  for (const std::string& path : paths) {
    char* name = unixFileName(Wide(path).c_str());
    if (name == nullptr) return false;
    command += std::string(" \"") + name + "\"";
    HeapFree(GetProcessHeap(), 0, name);
  }
  STARTUPINFOA startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process = {};
  if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &process))
    return false;
  CloseHandle(process.hProcess);
  CloseHandle(process.hThread);
  return true;
}

// Waits until path exists, or until it is gone; false when it has not
// come to that within ten seconds.
bool WaitForPath(const std::string& path, bool exists) {
  for (int i = 0; i < 500; ++i) {
    if ((GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES) == exists) return true;
    Sleep(20);
  }
  return false;
}

bool MakeUnixLink(const std::string& link, const std::string& target) {
  const bool made = RunUnixCommand("ln", "-s", {target, link}) && WaitForPath(link, true);
  const DWORD attributes = GetFileAttributesA(link.c_str());
  return made && attributes != INVALID_FILE_ATTRIBUTES &&
         (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

}  // namespace

bool MakeFolderLink(const std::string& link, const std::string& target, std::string& why) {
  if (MakeJunction(link, target) || MakeUnixLink(link, target)) return true;
  why = "this platform makes no junction (error " + std::to_string(GetLastError()) +
        ") and no other link to a folder";
  return false;
}

// Wine's RemoveDirectoryA on a Unix link removes the folder it points to
// when that is empty, and leaves the link: there, rm removes it.
bool RemoveFolderLink(const std::string& link) {
  if (RunUnixCommand("rm", "", {link})) return WaitForPath(link, false);
  return RemoveDirectoryA(link.c_str()) != FALSE;
}
