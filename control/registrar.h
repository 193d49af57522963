// A small registrar: runs a registration script that describes registry
// keys and values, to create them or to remove them again.
//
// Script syntax, tokens separated by white space:
//   HKCR { entries }              also HKLM, HKCU and their long names
//   [NoRemove|ForceRemove] Name [= s 'text'] [{ entries }]   a key
//   val Name = s 'text'  |  val Name = d 123                  a value
// Names and texts may be quoted with single quotes ('' stands for one).
// %MODULE% is replaced by the module text before parsing.
//
// Registering creates every key and value; a ForceRemove key is deleted
// with its whole subtree first. Removing deletes every listed value, and
// every listed key that exists, is not NoRemove and has no subkeys left
// once its own listed children were removed; a missing key is skipped with
// everything below it.
#pragma once

#include <windows.h>

// S_OK, or the first failure: E_INVALIDARG for a script that does not
// parse (nothing is then touched), the registry's error as an HRESULT,
// E_OUTOFMEMORY. Removal skips what it cannot delete and so never fails
// once the script parsed.
HRESULT RunRegistrarScript(const char* script, const char* module, bool registering);
