#include "trusted_signers.h"

// The build passes the thumbprints as one text, upper-case hexadecimal
// separated by commas; it checks their form when it is configured.
#ifndef OV_TRUSTED_SIGNERS
#define OV_TRUSTED_SIGNERS ""
#endif

namespace {
const char kTrustedSigners[] = OV_TRUSTED_SIGNERS;
}

bool AreSignersPinned() { return kTrustedSigners[0] != '\0'; }

bool IsPinnedSigner(const std::string& thumbprint) {
  if (thumbprint.empty()) return false;
  const std::string list = kTrustedSigners;
  size_t start = 0;
  while (start <= list.size()) {
    size_t end = list.find(',', start);
    if (end == std::string::npos) end = list.size();
    if (list.compare(start, end - start, thumbprint) == 0) return true;
    start = end + 1;
  }
  return false;
}
