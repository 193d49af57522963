// The machine-wide folder in which install jobs download, unpack and keep
// their journal. The engine runs as administrator and acts on what it finds
// there, so the folder must be one that only administrators and the system
// can change: nobody else may plant a journal, a package or a link in it.
#pragma once

#include <windows.h>

#include <string>

// True when folder is a real folder (no junction or symbolic link) owned
// by Administrators, SYSTEM or the owner of the System folder, and its
// access list lets nobody else change it or anything in it.
bool IsProtectedFolder(const std::string& folder);

// True when the open object (a file in the folder) is owned by
// Administrators, SYSTEM or the owner of the System folder.
bool IsOwnedByAdministrators(HANDLE object);

// Makes folder such a folder, creating its parents as needed. Whatever
// stands there and fails IsProtectedFolder (a link, a file, a folder of
// someone else's, with all it holds) is removed and the folder made anew,
// with full control for Administrators and SYSTEM only. False when that
// cannot be done: this process may not create or remove it.
bool PrepareProtectedFolder(const std::string& folder);
