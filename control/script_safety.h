// What the browser checks before it lets a page script an object, applied
// to the controls that GetActiveXObject hands to script: the class must not
// carry the browser's kill bit, and the object must be marked safe for
// scripting, by the implemented category or by IObjectSafety.
#pragma once

#include <windows.h>
#include <unknwn.h>

// True when HKLM\SOFTWARE\Microsoft\Internet Explorer\ActiveX
// Compatibility\{clsid} has a "Compatibility Flags" DWORD with 0x400 set.
bool IsKillBitSet(REFCLSID clsid);

// True when the class implements the category "Safe for Scripting", or
// when object accepts INTERFACESAFE_FOR_UNTRUSTED_CALLER for IDispatch
// through IObjectSafety (S_OK).
bool IsSafeForScripting(REFCLSID clsid, IUnknown* object);
