// Links to folders for the tests that plant one where the engine works.
#pragma once

#include <string>

// Makes link, which must not exist, a link to the folder target: an NTFS
// junction where the platform has them; on Wine, which has none, a Unix
// symbolic link, which Wine shows as a reparse point too. False, with the
// reason in why, where the platform offers neither.
bool MakeFolderLink(const std::string& link, const std::string& target, std::string& why);
// Removes a link that MakeFolderLink made, whatever made it.
bool RemoveFolderLink(const std::string& link);
