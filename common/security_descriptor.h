// CSecurityDescriptor: the one owner of a security descriptor that the
// system allocated for the caller (made from SDDL text, or read from an
// object with GetSecurityInfo and its kin); freed with LocalFree.
#pragma once

#include <windows.h>

#include <sddl.h>

class CSecurityDescriptor {
 public:
  CSecurityDescriptor() = default;
  // From SDDL text; Get() is null when the text does not convert.
  explicit CSecurityDescriptor(const char* sddl) {
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl, SDDL_REVISION_1, &descriptor_,
                                                              nullptr))
      descriptor_ = nullptr;
  }
  ~CSecurityDescriptor() {
    if (descriptor_ != nullptr) LocalFree(descriptor_);
  }
  CSecurityDescriptor(const CSecurityDescriptor&) = delete;
  CSecurityDescriptor& operator=(const CSecurityDescriptor&) = delete;

  PSECURITY_DESCRIPTOR Get() const { return descriptor_; }
  // For the out parameter of a call that allocates one; must be empty.
  PSECURITY_DESCRIPTOR* Receive() { return &descriptor_; }
  // Attributes that create an object with this descriptor, its handle not
  // inherited.
  SECURITY_ATTRIBUTES Attributes() const {
    SECURITY_ATTRIBUTES attributes = {sizeof(attributes), descriptor_, FALSE};
    return attributes;
  }

 private:
  PSECURITY_DESCRIPTOR descriptor_ = nullptr;
};
