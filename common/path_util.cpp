#include "path_util.h"

#include "registry_key.h"

#include <mbstring.h>

#include <cstring>

namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// How Windows reads one segment of a path: it drops a segment's trailing
// dots and spaces, so "..." and ".. " climb as ".." does. 0 for a name, 1
// for the current folder ("."), 2 for the parent.
int DotSegmentLevel(const char* segment, size_t length) {
  size_t dots = 0;
  for (size_t i = 0; i < length; ++i) {
    if (segment[i] == '.')
      ++dots;
    else if (segment[i] != ' ')
      return 0;
  }
  return dots < 2 ? static_cast<int>(dots) : 2;
}

// The highest DotSegmentLevel of any segment of name.
int HighestDotSegmentLevel(const char* name) {
  int highest = 0;
  for (const char* segment = name;;) {
    const size_t length = std::strcspn(segment, "\\/");
    const int level = DotSegmentLevel(segment, length);
    if (level > highest) highest = level;
    if (segment[length] == '\0') return highest;
    segment += length + 1;
  }
}

// Only a full path below a drive's root is removed. A path relative to some
// current folder ("dir", "\dir", "C:dir") or one with a "." or ".." part
// ("C:\." is the root itself) could reach far beyond the folder the caller
// meant.
bool IsRemovablePath(const char* path) {
  return HasDriveLetter(path) && !IsDriveRoot(path) && IsSeparator(path[2]) &&
         IsContainedName(path + 3) && HighestDotSegmentLevel(path + 3) == 0;
}

bool IsReparsePoint(DWORD attributes) { return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0; }

// Removes a junction or symbolic link itself; what it points to is never
// entered. A link to a folder goes as a folder, one to a file as a file.
// (Wine, whose only links are Unix ones, removes none this way; it removes
// an empty folder that a link points to instead.)
bool RemoveLink(const std::string& link) {
  return RemoveDirectoryA(link.c_str()) != FALSE || DeleteFileA(link.c_str()) != FALSE;
}

}  // namespace

bool IsContainedName(const char* name) {
  if (name == nullptr || IsSeparator(name[0]) || std::strchr(name, ':') != nullptr) return false;
  return HighestDotSegmentLevel(name) < 2;
}

bool HasDriveLetter(const char* path) {
  return path != nullptr && path[0] != '\0' && path[1] == ':';
}

// "C:\\" or "C:/\" name the root as surely as "C:\" does, and treating them
// as folders would let RemoveDirectoryTree empty the whole drive.
bool IsDriveRoot(const char* path) {
  if (!HasDriveLetter(path)) return false;
  for (const char* rest = path + 2; *rest != '\0'; ++rest) {
    if (!IsSeparator(*rest)) return false;
  }
  return true;
}

void TrimTrailingSlashes(std::string& text) {
  while (!text.empty() && text.back() == '\\') text.pop_back();
  while (!text.empty() && text.back() == '/') text.pop_back();
}

void TrimTrailingSlashes(char* text) {
  if (text == nullptr) return;
  size_t length = strlen(text);
  while (length > 0 && text[length - 1] == '\\') text[--length] = '\0';
  while (length > 0 && text[length - 1] == '/') text[--length] = '\0';
}

std::string WithoutTrailingSlashes(const char* path) {
  std::string text = path != nullptr ? path : "";
  TrimTrailingSlashes(text);
  return text;
}

size_t FindLastSlash(const char* text) {
  if (text == nullptr) return std::string::npos;
  return std::string(text).find_last_of("\\/");
}

std::string GetFileNameFromPath(const char* path) {
  const std::string text = WithoutTrailingSlashes(path);
  const size_t slash = FindLastSlash(text.c_str());
  return slash == std::string::npos ? text : text.substr(slash + 1);
}

const char kDownloadFileName[] = "package.cab";

std::string GetDownloadFileName(const char* url) {
  std::string text = url != nullptr ? url : "";
  text = text.substr(0, text.find_first_of("?#"));
  const std::string name = GetFileNameFromPath(text.c_str());
  if (name.empty() || name == "." || name == ".." ||
      name.find_first_of("<>:\"|*") != std::string::npos)
    return kDownloadFileName;
  return name;
}

std::string GetParentPath(const char* path, bool trimFirst) {
  std::string text = path != nullptr ? path : "";
  if (trimFirst) TrimTrailingSlashes(text);
  size_t cut = FindLastSlash(text.c_str());
  if (cut == std::string::npos) return std::string();
  while (cut > 0 && IsSeparator(text[cut - 1])) --cut;
  return text.substr(0, cut);
}

// No file can be named "" or hold a wildcard. One attribute query tells a
// folder or a drive root from a file: a drive-type test would cost a round
// trip to Wine's mount manager for every path, and extraction asks for
// every file.
bool GetPathAttributes(const char* path, WIN32_FILE_ATTRIBUTE_DATA& data) {
  return path != nullptr && path[0] != '\0' && strpbrk(path, "*?") == nullptr &&
         GetFileAttributesExA(path, GetFileExInfoStandard, &data);
}

int GetPathType(const char* path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetPathAttributes(path, data)) return PathMissing;
  return (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? PathDirectory : PathFile;
}

bool IsPlainFolder(const char* path) {
  const DWORD attributes = GetFileAttributesA(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) &&
         !IsReparsePoint(attributes);
}

bool MayExist(const char* path) {
  if (GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES) return true;
  const DWORD error = GetLastError();
  return error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND;
}

bool IsDirectory(const char* path) { return GetPathType(path) == PathDirectory; }

bool IsDotEntry(const WIN32_FIND_DATAA& findData) {
  if (!(findData.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) return false;
  const auto* name = reinterpret_cast<const unsigned char*>(findData.cFileName);
  return _mbscmp(name, reinterpret_cast<const unsigned char*>(".")) == 0 ||
         _mbscmp(name, reinterpret_cast<const unsigned char*>("..")) == 0;
}

// Creating first, and looking only when that fails, costs one call for the
// usual missing folder below an existing one: on Wine every lookup of a
// name that is not there reads the whole parent folder, so asking and then
// creating would read it twice.
bool CreateDirectoryTree(const char* path) {
  if (path == nullptr || path[0] == '\0') return false;
  // An existing folder written with a trailing separator is found only
  // without it.
  const std::string folder = WithoutTrailingSlashes(path);
  const std::string parent = GetParentPath(path, true);
  // The chain of parents ends here: a relative name is never created.
  if (parent.empty()) return IsDirectory(folder.c_str());
  if (CreateDirectoryA(path, nullptr)) return true;
  if (GetLastError() == ERROR_PATH_NOT_FOUND && CreateDirectoryTree(parent.c_str()) &&
      CreateDirectoryA(path, nullptr))
    return true;
  return IsDirectory(folder.c_str());
}

bool EnsureDirectory(const char* path) {
  return CreateDirectoryTree(WithoutTrailingSlashes(path).c_str());
}

bool RemoveDirectoryTree(const char* path) {
  if (!IsRemovablePath(path)) return false;
  // Probed without trailing separators: with them nothing would match and
  // an existing folder would be reported as removed.
  const std::string folder = WithoutTrailingSlashes(path);
  const DWORD attributes = GetFileAttributesA(folder.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return true;
  // A junction or symbolic link planted in place of the folder would
  // otherwise have the folder it points to emptied.
  if (IsReparsePoint(attributes)) return RemoveLink(folder);
  if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) return false;

  WIN32_FIND_DATAA findData;
  const HANDLE find = FindFirstFileA((folder + "\\*.*").c_str(), &findData);
  if (find == INVALID_HANDLE_VALUE) return RemoveDirectoryA(folder.c_str()) != FALSE;
  bool removedAll = true;
  do {
    if (IsDotEntry(findData)) continue;
    const std::string child = folder + "\\" + findData.cFileName;
    if (IsReparsePoint(findData.dwFileAttributes))
      removedAll = RemoveLink(child);
    else if (findData.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
      removedAll = RemoveDirectoryTree(child.c_str());
    else
      removedAll = DeleteFileA(child.c_str()) != FALSE;
  } while (removedAll && FindNextFileA(find, &findData));
  FindClose(find);
  return removedAll && RemoveDirectoryA(folder.c_str()) != FALSE;
}

bool LeavesFreeSpace(const char* folder, int64_t bytes, int64_t reserve) {
  ULARGE_INTEGER available;
  if (!GetDiskFreeSpaceExA(folder, &available, nullptr, nullptr)) return true;
  const int64_t free = static_cast<int64_t>(available.QuadPart);
  return bytes <= free && free - bytes >= reserve;
}

const char kActiveXCacheKey[] =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\ActiveX Cache";

bool GetActiveXCacheFolder(std::string& folder) {
  CRegistryKey key;
  if (key.OpenKey(HKEY_LOCAL_MACHINE, kActiveXCacheKey, OpenExisting) != ERROR_SUCCESS)
    return false;
  return key.QueryString("0", folder) == ERROR_SUCCESS && !folder.empty();
}

const char kProtectedFolderName[] = "~OVSetup";
const char kWorkFolderName[] = "~OVControlDownload";

std::string GetProtectedFolderPath(const char* cacheFolder) {
  return WithoutTrailingSlashes(cacheFolder) + "\\" + kProtectedFolderName;
}

bool GetJobFolder(std::string& folder) {
  std::string cacheFolder;
  if (!GetActiveXCacheFolder(cacheFolder)) return false;
  folder = GetProtectedFolderPath(cacheFolder.c_str());
  return true;
}

std::string GetWorkFolderPath(const std::string& protectedFolder) {
  return protectedFolder + "\\" + kWorkFolderName;
}

std::string GetJournalPath(const std::string& workFolder) { return workFolder + ".journal"; }

bool IsSamePath(const std::string& a, const std::string& b) {
  return CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, a.c_str(), -1, b.c_str(), -1) ==
         CSTR_EQUAL;
}
