// Path and file helpers for the engine's ANSI path texts, in which "\" and
// "/" both separate.
#pragma once

#include <windows.h>

#include <string>

bool HasDriveLetter(const char* path);  // second character is ':'
bool IsDriveRoot(const char* path);     // "C:", "C:\" and the like

// Removes trailing "\" characters, then trailing "/" characters.
void TrimTrailingSlashes(std::string& text);
void TrimTrailingSlashes(char* text);
std::string WithoutTrailingSlashes(const char* path);

// Position of the last "\" or "/"; std::string::npos when there is none.
size_t FindLastSlash(const char* text);
// Last segment of the trimmed path (also used on URLs).
std::string GetFileNameFromPath(const char* path);
// Path cut at its last separator, with separators right before it removed;
// empty when nothing but separators precedes it.
std::string GetParentPath(const char* path, bool trimFirst);

enum PathType { PathMissing = 0, PathFile = 1, PathDirectory = 2 };
int GetPathType(const char* path);
bool IsDirectory(const char* path);
bool IsDotEntry(const WIN32_FIND_DATAA& findData);

// Creates path and any missing parents; true when it exists as a folder.
bool CreateDirectoryTree(const char* path);
bool EnsureDirectory(const char* path);
// Deletes a folder with everything in it. Refuses drive roots and paths
// without a drive letter; read-only files and files in use stay, and so
// the result is false.
bool RemoveDirectoryTree(const char* path);
