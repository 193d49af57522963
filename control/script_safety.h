// What the browser checks before it lets a page script an object, applied
// to the controls that GetActiveXObject hands to script: the class that
// will run (after TreatAs) must not carry the browser's kill bit, and the
// object must agree to be scripted by untrusted callers through
// IObjectSafety, or, when it has no IObjectSafety, be registered in the
// category "Safe for Scripting".
#pragma once

#include <windows.h>
#include <unknwn.h>

class CRegistryWatch;

// The class that creating clsid runs (the class its TreatAs names, else
// clsid itself), when script may have it. False when that class cannot be
// resolved or when clsid or the class that runs carries the kill bit: a
// "Compatibility Flags" DWORD with 0x400 set under HKLM
// SOFTWARE\Microsoft\Internet Explorer\ActiveX Compatibility\{clsid} or
// its copy under SOFTWARE\Policies.
bool ResolveScriptableClass(REFCLSID clsid, CLSID& runs);

// True when object is safe for untrusted callers by its own word: it has
// IObjectSafety, and for IDispatchEx when it has that interface, then for
// IDispatch, reports INTERFACESAFE_FOR_UNTRUSTED_CALLER among its supported
// options and accepts it being set. An object with IObjectSafety is judged
// by its answer alone; hasObjectSafety says whether it has one.
bool AcceptsScripting(IUnknown* object, bool& hasObjectSafety);

// Whether the class implements the category "Safe for Scripting": what
// decides for an object without IObjectSafety.
bool IsInSafeForScriptingCategory(REFCLSID clsid);

// The keys whose change alters what ResolveScriptableClass and
// IsInSafeForScriptingCategory answer.
void WatchScriptSafetyKeys(CRegistryWatch& watch);
