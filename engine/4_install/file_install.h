// Helpers of the install stage that look at the system around it.
#pragma once

#include <string>

// The Windows and System folders without trailing separators; false when
// one does not fit its buffer, which would leave an empty text and have
// items copied to the drive's root.
bool GetSystemFolders(std::string& windowsFolder, std::string& systemFolder);

// True when path names an existing file that can be opened for writing
// without sharing: false for a file some process has loaded or holds open.
bool CanOpenForWriting(const char* path);
