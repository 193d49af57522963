// The protected folder: made with an access list of its own, and trusted
// only after its owner and access list have been read back.
#include "protected_folder.h"

#include <windows.h>

#include <aclapi.h>

#include "path_util.h"
#include "security_descriptor.h"

namespace {

// Owned by Administrators; full control for Administrators and SYSTEM,
// passed on to everything made inside; nothing inherited from the parent.
// Every signed-in user may list the folder itself (and so read the
// attributes of what it holds), nothing more: the unelevated control looks
// for an unfinished install's journal here, and must tell "none" from "not
// allowed to look".
const char kProtectedFolderSddl[] =
    "O:BAD:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;;0x100081;;;AU)";

// The rights that let a holder change a folder or what it holds.
const ACCESS_MASK kChangeRights = FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_WRITE_EA |
                                  FILE_WRITE_ATTRIBUTES | FILE_DELETE_CHILD | DELETE | WRITE_DAC |
                                  WRITE_OWNER | GENERIC_WRITE | GENERIC_ALL;

// The accounts that may own and change the folder: Administrators, SYSTEM,
// and whoever owns the System folder (TrustedInstaller on Vista and later;
// Wine, which keeps no owners, names the one account it runs every file as).
class CTrustedAccounts {
 public:
  CTrustedAccounts() {
    char system[MAX_PATH];
    const UINT length = GetSystemDirectoryA(system, MAX_PATH);
    if (length == 0 || length >= MAX_PATH ||
        GetNamedSecurityInfoA(system, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &systemOwner_,
                              nullptr, nullptr, nullptr, descriptor_.Receive()) != ERROR_SUCCESS)
      systemOwner_ = nullptr;
  }
  CTrustedAccounts(const CTrustedAccounts&) = delete;
  CTrustedAccounts& operator=(const CTrustedAccounts&) = delete;

  bool Has(PSID sid) const {
    return IsValidSid(sid) && (IsWellKnownSid(sid, WinBuiltinAdministratorsSid) ||
                               IsWellKnownSid(sid, WinLocalSystemSid) ||
                               (systemOwner_ != nullptr && EqualSid(sid, systemOwner_)));
  }

 private:
  CSecurityDescriptor descriptor_;
  PSID systemOwner_ = nullptr;  // points into descriptor_
};

// An access list that lets only trusted accounts change anything. A null
// list lets everyone in; an entry of a kind this code does not know may.
bool OnlyTrustedMayChange(const ACL* list, const CTrustedAccounts& trusted) {
  if (list == nullptr) return false;
  for (DWORD i = 0; i < list->AceCount; ++i) {
    void* entry = nullptr;
    if (!GetAce(const_cast<ACL*>(list), i, &entry)) return false;
    const BYTE type = static_cast<ACE_HEADER*>(entry)->AceType;
    if (type == ACCESS_DENIED_ACE_TYPE) continue;
    if (type != ACCESS_ALLOWED_ACE_TYPE) return false;
    ACCESS_ALLOWED_ACE* allowed = static_cast<ACCESS_ALLOWED_ACE*>(entry);
    if ((allowed->Mask & kChangeRights) != 0 && !trusted.Has(&allowed->SidStart)) return false;
  }
  return true;
}

// True when the list lets every signed-in user list the folder.
bool LetsUsersLook(const ACL* list) {
  for (DWORD i = 0; list != nullptr && i < list->AceCount; ++i) {
    void* entry = nullptr;
    if (!GetAce(const_cast<ACL*>(list), i, &entry) ||
        static_cast<ACE_HEADER*>(entry)->AceType != ACCESS_ALLOWED_ACE_TYPE)
      continue;
    ACCESS_ALLOWED_ACE* allowed = static_cast<ACCESS_ALLOWED_ACE*>(entry);
    if ((allowed->Mask & FILE_LIST_DIRECTORY) &&
        IsWellKnownSid(&allowed->SidStart, WinAuthenticatedUserSid))
      return true;
  }
  return false;
}

// A folder made before users could look gets the list it has now.
void LetUsersLook(const std::string& folder) {
  CSecurityDescriptor current;
  PACL list = nullptr;
  if (GetNamedSecurityInfoA(folder.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                            nullptr, &list, nullptr, current.Receive()) != ERROR_SUCCESS ||
      LetsUsersLook(list))
    return;
  CSecurityDescriptor wanted(kProtectedFolderSddl);
  BOOL present = FALSE, defaulted = FALSE;
  PACL newList = nullptr;
  if (wanted.Get() != nullptr &&
      GetSecurityDescriptorDacl(wanted.Get(), &present, &newList, &defaulted) && present)
    SetNamedSecurityInfoA(const_cast<char*>(folder.c_str()), SE_FILE_OBJECT,
                          DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
                          nullptr, nullptr, newList, nullptr);
}

}  // namespace

bool IsProtectedFolder(const std::string& folder) {
  if (!IsPlainFolder(folder.c_str())) return false;
  CSecurityDescriptor descriptor;
  PSID owner = nullptr;
  PACL list = nullptr;
  if (GetNamedSecurityInfoA(folder.c_str(), SE_FILE_OBJECT,
                            OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &owner,
                            nullptr, &list, nullptr, descriptor.Receive()) != ERROR_SUCCESS)
    return false;
  CTrustedAccounts trusted;
  return owner != nullptr && trusted.Has(owner) && OnlyTrustedMayChange(list, trusted);
}

bool IsOwnedByAdministrators(HANDLE object) {
  CSecurityDescriptor descriptor;
  PSID owner = nullptr;
  if (GetSecurityInfo(object, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr,
                      nullptr, nullptr, descriptor.Receive()) != ERROR_SUCCESS)
    return false;
  CTrustedAccounts trusted;
  return owner != nullptr && trusted.Has(owner);
}

bool PrepareProtectedFolder(const std::string& folder) {
  // Jobs prepare the folder before they take their lock, which lives in
  // it, so two may do this at once. A folder another job made is protected
  // from its creation on: whatever is found is judged as found, and a
  // folder made meanwhile is taken as it is.
  if (GetFileAttributesA(folder.c_str()) != INVALID_FILE_ATTRIBUTES) {
    if (IsProtectedFolder(folder)) {
      LetUsersLook(folder);
      return true;
    }
    // Nothing found here can be trusted, a journal least of all. A link
    // goes as a link; what it points to stays as it is.
    if (!RemoveDirectoryTree(folder.c_str()) && !DeleteFileA(folder.c_str())) return false;
  }
  const std::string parent = GetParentPath(folder.c_str(), true);
  if (parent.empty() || !EnsureDirectory(parent.c_str())) return false;
  CSecurityDescriptor descriptor(kProtectedFolderSddl);
  if (descriptor.Get() == nullptr) return false;
  SECURITY_ATTRIBUTES attributes = descriptor.Attributes();
  if (CreateDirectoryA(folder.c_str(), &attributes)) {
    // Out of the way of anyone who looks at the downloaded controls.
    SetFileAttributesA(folder.c_str(), FILE_ATTRIBUTE_HIDDEN);
  } else if (GetLastError() != ERROR_ALREADY_EXISTS) {
    return false;
  }
  return IsProtectedFolder(folder);
}
