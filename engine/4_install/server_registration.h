// Registering and unregistering an in-process COM server by calling the
// entry points it exports, as regsvr32 does.
#pragma once

// Loads the library at path, calls its parameterless entry point
// entryName and unloads it again. True when the entry point returned a
// success HRESULT; false for a null path, a library that does not load or
// one without that entry point.
bool CallDllEntryPoint(const char* path, const char* entryName);

// CallDllEntryPoint with "DllRegisterServer" / "DllUnregisterServer".
bool RegisterServer(const char* path);
bool UnregisterServer(const char* path);
