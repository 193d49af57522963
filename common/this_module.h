// The module this code is linked into: OVSetupCore.dll or OVSetupAgent.dll
// in the product, never the host process.
#pragma once

#include <windows.h>

#include <string>

// The loader keeps the module mapped while its code runs, so the handle
// carries no reference of its own.
HMODULE GetThisModule();

// Takes a reference on the module that keeps it loaded until FreeLibrary
// (or FreeLibraryAndExitThread) drops it: for a thread that may outlive
// every other user of the module. Null when none could be taken.
HMODULE ReferenceThisModule();

// Its file name without folder and extension: "OVSetupCore".
std::string ModuleBaseName();
