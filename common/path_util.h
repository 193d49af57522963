// Path and file helpers for the engine's ANSI path texts, in which "\" and
// "/" both separate.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

// True when name, joined to a folder, names something inside that folder:
// it is not rooted ("\x", "/x", "\\server\x"), names no drive or stream
// (no ":"), and no segment climbs (".." and the forms Windows reads as "..":
// "...", ".. "). Every name a package supplies passes this before use.
bool IsContainedName(const char* name);

bool HasDriveLetter(const char* path);  // second character is ':'
// A drive letter followed by nothing but separators: "C:", "C:\", "C:\\".
bool IsDriveRoot(const char* path);

// Removes trailing "\" characters, then trailing "/" characters.
void TrimTrailingSlashes(std::string& text);
void TrimTrailingSlashes(char* text);
std::string WithoutTrailingSlashes(const char* path);

// Position of the last "\" or "/"; std::string::npos when there is none.
size_t FindLastSlash(const char* text);
// Last segment of the trimmed path (also used on URLs).
std::string GetFileNameFromPath(const char* path);
// The local file name for a download from url: the last segment of its
// path, without query ("?v=2") or fragment, which name no file. A name
// Windows cannot give a file (empty, "." or "..", or holding one of
// <>:"|*) gives kDownloadFileName instead.
extern const char kDownloadFileName[];
std::string GetDownloadFileName(const char* url);
// Path cut at its last separator, with separators right before it removed;
// empty when nothing but separators precedes it.
std::string GetParentPath(const char* path, bool trimFirst);
// True when two paths are spelled alike but for letter case, as the file
// system compares names: whatever the user's locale.
bool IsSamePath(const std::string& a, const std::string& b);

enum PathType { PathMissing = 0, PathFile = 1, PathDirectory = 2 };
// A drive is a directory. A null or empty path and one with a wildcard are
// PathMissing. Windows matches nothing for a folder written with a trailing
// separator (PathMissing), Wine matches the folder; trim first.
int GetPathType(const char* path);
// False only when the platform answers that nothing is at path (file or
// path not found); any other failure, such as access denied to a folder
// only administrators may read, may hide something there.
bool MayExist(const char* path);

// True when path is a real folder: no file, and no junction or symbolic
// link, which would lead elsewhere.
bool IsPlainFolder(const char* path);
// GetFileAttributesExA of path, by the same rule: a null or empty path or a
// pattern names nothing. False, with data untouched, when nothing is there.
bool GetPathAttributes(const char* path, WIN32_FILE_ATTRIBUTE_DATA& data);
bool IsDirectory(const char* path);
bool IsDotEntry(const WIN32_FIND_DATAA& findData);

// Creates path and any missing parents; true when it exists as a folder.
// Relative paths fail: the chain of parents must end at a drive.
bool CreateDirectoryTree(const char* path);
bool EnsureDirectory(const char* path);
// Deletes a folder with everything in it; true when nothing is left of it
// (also when it did not exist). Refuses, touching nothing, a drive root and
// any path that is not a full path below one ("dir", "\dir", "C:dir", or
// with a "." or ".." part). Read-only files and files in use stay, and so
// the result is false. A junction or symbolic link, the folder itself or
// one inside it, is removed as a link: what it points to is never entered.
bool RemoveDirectoryTree(const char* path);

// True when bytes more written into folder would leave at least reserve
// bytes free on its volume for this process. Also true when the free space
// cannot be read (the folder missing, say): the writes then tell.
bool LeavesFreeSpace(const char* folder, int64_t bytes, int64_t reserve);

// The browser's downloaded-controls folder: the REG_SZ value "0" of HKLM
// "SOFTWARE\Microsoft\Windows\CurrentVersion\Internet Settings\ActiveX
// Cache". False when the key or the value is missing, not a string or
// empty.
bool GetActiveXCacheFolder(std::string& folder);
extern const char kActiveXCacheKey[];

// Where install jobs keep their files: one machine-wide folder inside the
// browser's downloaded-controls folder (on its volume, and named in the
// ANSI code page whatever the player's account is called), that only
// administrators and the system may write.
extern const char kProtectedFolderName[];  // "~OVSetup"
extern const char kWorkFolderName[];       // "~OVControlDownload"
// "<cacheFolder>\~OVSetup".
std::string GetProtectedFolderPath(const char* cacheFolder);
// The protected folder of every job on this machine,
// "<downloaded-controls folder>\~OVSetup"; false when the browser's
// downloaded-controls folder is not set.
bool GetJobFolder(std::string& folder);
// "<protectedFolder>\~OVControlDownload": one job's download and
// extraction, removed at the job's end. The job's journal lies beside it.
std::string GetWorkFolderPath(const std::string& protectedFolder);
// The install stage's journal beside the work folder. While it exists an
// install is unfinished, and the next job completes or undoes it.
std::string GetJournalPath(const std::string& workFolder);
