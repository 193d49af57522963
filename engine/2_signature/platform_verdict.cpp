#include "platform_verdict.h"

#include <windows.h>
#include <oleauto.h>
#include <softpub.h>
#include <wintrust.h>

#include <cstddef>

#include "ansi_string.h"
#include "com_ref.h"

namespace {

// WINTRUST_DATA up to and including dwProvFlags: the form that every
// Windows version since XP knows, 44 bytes in a 32-bit process.
const DWORD kTrustDataSize = offsetof(WINTRUST_DATA, dwProvFlags) + sizeof(DWORD);
static_assert(sizeof(void*) != 4 || kTrustDataSize == 44, "WINTRUST_DATA layout");

}  // namespace

bool VerifyPackageSignature(const char* packagePath, HANDLE file, int32_t& status) {
  if (packagePath == nullptr) return false;
  const CBstr path(AnsiToBstr(packagePath));
  // An out-of-memory conversion counts as no check made, which fails the job.
  if (path.Get() == nullptr) return false;

  WINTRUST_FILE_INFO info = {};
  info.cbStruct = sizeof(info);
  info.pcwszFilePath = path.Get();
  // The path still names the file (the provider picks the file's kind by
  // it); the handle makes Windows read the file the job holds.
  if (file != INVALID_HANDLE_VALUE) info.hFile = file;

  WINTRUST_DATA data = {};
  data.cbStruct = kTrustDataSize;
  data.dwUIChoice = WTD_UI_NONE;
  data.fdwRevocationChecks = WTD_REVOKE_NONE;
  data.dwUnionChoice = WTD_CHOICE_FILE;
  data.pFile = &info;
  data.dwStateAction = 0;  // no state kept open, so nothing to close afterwards
  data.dwProvFlags = WTD_SAFER_FLAG;

  GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
  status = WinVerifyTrust(nullptr, &action, &data);
  return true;
}

ResultCode SignatureVerdict(bool checked, int32_t status) {
  return checked && status == 0 ? SUCCESS : DLL_INVALID_SIGNCODE;
}
