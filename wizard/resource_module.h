// The module whose resources the setup window uses: the one this code is
// linked into (OVSetupCore.dll in the product), never the host process.
#pragma once

#include <windows.h>

#include <string>

HINSTANCE GetResourceModule();

// String id of the resource module in the user's language; empty when it
// is missing.
std::string LoadResourceString(UINT id);
