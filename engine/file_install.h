// Helpers of the install stage that look at the system around it.
#pragma once

#include <string>

// The browser's downloaded-controls folder: the REG_SZ value "0" of HKLM
// "SOFTWARE\Microsoft\Windows\CurrentVersion\Internet Settings\ActiveX
// Cache". False when the key or the value is missing, not a string or
// empty.
bool GetActiveXCacheFolder(std::string& folder);

// The Windows and System folders without trailing separators; false when
// one does not fit its buffer, which would leave an empty text and have
// items copied to the drive's root.
bool GetSystemFolders(std::string& windowsFolder, std::string& systemFolder);

// True when path names an existing file that can be opened for writing
// without sharing: false for a file some process has loaded or holds open.
bool CanOpenForWriting(const char* path);
