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

#include "crypt_hash.h"
#include "local_file.h"

// The SHA-256 digest of the parts above, computed from a cabinet's bytes
// in the order they arrive (its download), so that the check after the
// download need not read the file again. The header's first 60 bytes say
// where the covered part ends; bytes after it are not hashed.
class CCabinetDigestStream {
 public:
  static const size_t kHeaderSize = 60;

  CCabinetDigestStream() = default;
  CCabinetDigestStream(const CCabinetDigestStream&) = delete;
  CCabinetDigestStream& operator=(const CCabinetDigestStream&) = delete;

  void Add(const BYTE* data, size_t size);
  // The digest, when the bytes seen are those of a signed cabinet's header
  // and covered part whose end is signedDataOffset. False otherwise (not a
  // signed cabinet, too short, or the platform failed).
  bool Finish(uint32_t signedDataOffset, std::vector<BYTE>& digest);

 private:
  bool AddCovered(const BYTE* data, size_t size);

  CCryptHash hash_;
  BYTE header_[kHeaderSize] = {};
  uint64_t received_ = 0;
  uint32_t end_ = 0;       // the SignedData's offset, once the header is in
  bool failed_ = false;
};

class CSignedCabinet {
 public:
  CSignedCabinet() = default;
  CSignedCabinet(const CSignedCabinet&) = delete;
  CSignedCabinet& operator=(const CSignedCabinet&) = delete;

  // Reads the cabinet through a duplicate of file (an open handle with
  // read access, moved about freely) and checks its header. False when it
  // cannot be read or is not a signed single cabinet laid out as above.
  bool Open(HANDLE file);

  // The SignedData's DER bytes, without the padding after them. False when
  // the DER length does not fit the size that the header names or the
  // padding is not zeros.
  bool ReadSignedData(std::vector<BYTE>& signedData);

  // The digest (algorithm: CALG_SHA1, CALG_SHA_256, ...) of the parts that
  // the signature covers: SHA-256 from streamed when it has it for this
  // layout, otherwise read from the file once more.
  bool ComputeDigest(ALG_ID algorithm, CCabinetDigestStream* streamed, std::vector<BYTE>& digest);

 private:
  static const size_t kHeaderSize = CCabinetDigestStream::kHeaderSize;

  CLocalFile file_;
  BYTE header_[kHeaderSize] = {};
  uint32_t signedDataOffset_ = 0;
  uint32_t signedDataSize_ = 0;
};
