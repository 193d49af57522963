// Elevation on Windows Vista and later: the control has the engine run in
// an elevated instance of itself, hosted by the COM surrogate.
#pragma once

#include <windows.h>

// True on Windows NT 6.0 and later.
bool IsElevationCapable();

// True when this process is the system's COM surrogate (dllhost.exe in
// the system folder, or in its 32-bit twin on 64-bit Windows), where the
// elevated instance lives. A browser never runs page script there.
bool RunsInComSurrogate();

// Binds "Elevation:Administrator!new:{clsid}" for a local server; the
// HRESULT of CoGetObject (a failure also when the user declines).
HRESULT CreateElevatedInstance(HWND owner, REFCLSID clsid, REFIID iid, void** object);

// Writes the AppID's LaunchPermission and AccessPermission, which let a
// browser at low integrity start and call the elevated instance. Silent:
// a value that cannot be made or written is skipped. Does nothing before
// Vista or for a null appId.
void WriteAppIdSecurity(const char* appId);
