// Authenticode check of a downloaded package, made by Windows itself.
#pragma once

#include <windows.h>

#include <cstdint>

#include "result_code.h"

// Has WinVerifyTrust check the signature of the package at packagePath (an
// ANSI path), silently and without revocation checks, reading it through
// file (an open handle with read access) when one is given, and stores its
// status. Returns false, with status untouched, when no check could be
// made: no path, or no memory for its UTF-16 form.
bool VerifyPackageSignature(const char* packagePath, HANDLE file, int32_t& status);

// The job's reading of that check: only a check that was made and came back
// 0 passes. The platform's providers answer failures of their own steps
// (a file that a scanner holds, no memory) with positive codes, and a check
// not made is no verdict: both are DLL_INVALID_SIGNCODE, as every negative
// status is.
ResultCode SignatureVerdict(bool checked, int32_t status);
