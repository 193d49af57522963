// CLSID of the update control, OVManagerX.OvelinAutoUpdater. The engine
// accepts it as the only caller token of InstallActiveX.
#pragma once

#include <windows.h>

// {6A2D4F10-3B7E-4C21-9D58-0E4B7A913C65}
static const GUID kAgentClsid = {
    0x6A2D4F10, 0x3B7E, 0x4C21, {0x9D, 0x58, 0x0E, 0x4B, 0x7A, 0x91, 0x3C, 0x65}};
