// CSignedCabinet: a downloaded package read as an Authenticode-signed
// cabinet, before any cabinet reader sees it. Its header is checked field by
// field, its SignedData is taken out of the place the header names, and its
// Authenticode digest is computed over the parts of the file that the
// signature covers.
//
// The header of a signed cabinet carries a 20-byte reserved area:
//   36  cbCFHeader = 20, cbCFFolder = 0, cbCFData = 0
//   40  0x00100000
//   44  offset of the SignedData: the signed part of the file ends there
//   48  size of the SignedData, zero padding to 8 bytes included
//   52  four bytes that no one reads, 56: four that the digest covers
// The digest covers bytes 0-3, 8-33 and 56 to the SignedData's offset:
// everything but reserved1, iCabinet, the reserved area's fixed part and the
// SignedData itself. So the fields it leaves out are accepted only with
// the values that signing writes: a cabinet reader would act on them.
#pragma once

#include <windows.h>
#include <wincrypt.h>

#include <cstdint>
#include <vector>

#include "local_file.h"

class CSignedCabinet {
 public:
  CSignedCabinet() = default;
  CSignedCabinet(const CSignedCabinet&) = delete;
  CSignedCabinet& operator=(const CSignedCabinet&) = delete;

  // Opens the file at path and checks its header. False when it cannot be
  // read or is not a signed single cabinet laid out as above.
  bool Open(const char* path);

  // The SignedData's DER bytes, without the padding after them. False when
  // the DER length does not fit the size that the header names or the
  // padding is not zeros.
  bool ReadSignedData(std::vector<BYTE>& signedData);

  // The digest (algorithm: CALG_SHA1, CALG_SHA_256, ...) of the parts that
  // the signature covers, read from the file once more.
  bool ComputeDigest(ALG_ID algorithm, std::vector<BYTE>& digest);

 private:
  static const size_t kHeaderSize = 60;

  CLocalFile file_;
  BYTE header_[kHeaderSize] = {};
  uint32_t signedDataOffset_ = 0;
  uint32_t signedDataSize_ = 0;
};
