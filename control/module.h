// Module-wide state of OVSetupAgent.dll: its instance handle, the lock
// count that DllCanUnloadNow reads, and the type information that every
// control object serves IDispatch from.
#pragma once

#include <windows.h>
#include <oaidl.h>

HINSTANCE ModuleInstance();

// One lock per live control object, per outstanding LockServer(TRUE) and
// while a client holds the class factory. Safe from any thread.
void ModuleLock();
void ModuleUnlock();
LONG ModuleLockCount();

// The type information of IOvelinActiveXManager from the registered type
// library, loaded on first use and kept until the module unloads. The
// caller gets its own reference. Fails (TYPE_E_LIBNOTREGISTERED and the
// like) while the type library is not registered.
HRESULT GetManagerTypeInfo(ITypeInfo** info);
