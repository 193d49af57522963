// Authenticode check of a downloaded package, made by Windows itself.
#pragma once

#include <cstdint>

// Has WinVerifyTrust check the signature of the file at packagePath (an ANSI
// path), silently and without revocation checks, and stores its status:
// 0 for a trusted signature, negative for every kind of failure. The caller
// decides what the status means. Returns false, with status untouched, when
// no check could be made: no path, or no memory for its UTF-16 form.
bool VerifyPackageSignature(const char* packagePath, int32_t& status);
