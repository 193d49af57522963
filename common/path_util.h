// Path and file helpers for the engine's ANSI path texts, in which "\" and
// "/" both separate.
#pragma once

#include <windows.h>

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
// the result is false.
bool RemoveDirectoryTree(const char* path);

// The install job's work folder, "<temporary folder>\~OVControlDownload";
// false when the temporary folder does not fit its buffer, since an empty
// one would put the work folder at the root of the current drive.
bool GetWorkFolderPath(std::string& workFolder);
// The install stage's journal beside the work folder. While it exists an
// install is unfinished, and the next job completes or undoes it.
std::string GetJournalPath(const std::string& workFolder);
