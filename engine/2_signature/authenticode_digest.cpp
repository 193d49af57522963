#include "authenticode_digest.h"

#include <cstring>

namespace {

// CFHEADER.flags
const uint16_t kPrevCabinet = 0x0001;
const uint16_t kNextCabinet = 0x0002;
const uint16_t kReservePresent = 0x0004;

const uint32_t kReserveSize = 20;
const uint32_t kSignatureMarker = 0x00100000;
const uint32_t kFolderSize = 8;  // a CFFOLDER without reserved bytes
// A SignedData holds one signer and its certificates: a few KiB. The bound
// keeps a hostile size from costing memory.
const uint32_t kMaxSignedDataSize = 1024 * 1024;

uint16_t Word(const BYTE* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t Dword(const BYTE* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

// The length of the DER element at the start of data (tag, length and
// contents), or 0 when its length field does not fit size.
size_t DerElementLength(const BYTE* data, size_t size) {
  if (size < 2) return 0;
  size_t header = 2;
  size_t length = data[1];
  if (length & 0x80) {
    const size_t lengthBytes = length & 0x7F;
    if (lengthBytes == 0 || lengthBytes > 4 || size < 2 + lengthBytes) return 0;
    length = 0;
    for (size_t i = 0; i < lengthBytes; ++i) length = (length << 8) | data[2 + i];
    header += lengthBytes;
  }
  if (length > size - header) return 0;
  return header + length;
}

// The covered parts of a header: bytes 0-3, 8-33 and 56-59.
bool AddCoveredHeader(CCryptHash& hash, const BYTE* header) {
  return hash.Add(header, 4) && hash.Add(header + 8, 26) && hash.Add(header + 56, 4);
}

}  // namespace

void CCabinetDigestStream::Add(const BYTE* data, size_t size) {
  if (failed_) return;
  if (received_ < kHeaderSize) {
    const size_t part = size < kHeaderSize - received_ ? size : kHeaderSize - received_;
    std::memcpy(header_ + received_, data, part);
    received_ += part;
    data += part;
    size -= part;
    if (received_ < kHeaderSize) return;
    end_ = Dword(header_ + 44);
    if (end_ < kHeaderSize || !hash_.Start(CALG_SHA_256) || !AddCoveredHeader(hash_, header_)) {
      failed_ = true;
      return;
    }
  }
  if (received_ < end_) {
    const uint64_t left = end_ - received_;
    if (!hash_.Add(data, size < left ? size : static_cast<size_t>(left))) failed_ = true;
  }
  received_ += size;
}

bool CCabinetDigestStream::Finish(uint32_t signedDataOffset, std::vector<BYTE>& digest) {
  if (failed_ || received_ < kHeaderSize || end_ != signedDataOffset || received_ < end_)
    return false;
  failed_ = true;  // the hash is spent
  return hash_.Finish(digest);
}

bool CSignedCabinet::Open(HANDLE file) {
  if (file_.IsOpen() || !file_.OpenDuplicate(file)) return false;
  ULONGLONG fileSize = 0;
  if (!file_.GetSize(fileSize) || fileSize < kHeaderSize || fileSize > 0xFFFFFFFFull) return false;
  if (!file_.Seek(0) || !file_.ReadExactly(header_, kHeaderSize)) return false;

  const BYTE* h = header_;
  const uint16_t flags = Word(h + 30);
  if (h[0] != 'M' || h[1] != 'S' || h[2] != 'C' || h[3] != 'F') return false;
  if (Dword(h + 4) != 0) return false;                       // reserved1
  if ((flags & kReservePresent) == 0) return false;          // no signature
  if (flags & (kPrevCabinet | kNextCabinet)) return false;   // one of a set
  if (Word(h + 34) != 0) return false;                       // iCabinet
  if (Word(h + 36) != kReserveSize || h[38] != 0 || h[39] != 0) return false;
  if (Dword(h + 40) != kSignatureMarker) return false;

  signedDataOffset_ = Dword(h + 44);
  signedDataSize_ = Dword(h + 48);
  const uint64_t foldersEnd = kHeaderSize + static_cast<uint64_t>(Word(h + 26)) * kFolderSize;
  // The file ends where the SignedData ends, and the cabinet that the
  // header describes ends where it begins.
  if (signedDataSize_ == 0 || signedDataSize_ > kMaxSignedDataSize) return false;
  if (static_cast<uint64_t>(signedDataOffset_) + signedDataSize_ != fileSize) return false;
  if (Dword(h + 8) != signedDataOffset_) return false;       // cbCabinet
  if (Dword(h + 16) != foldersEnd) return false;             // coffFiles
  return foldersEnd <= signedDataOffset_;
}

bool CSignedCabinet::ReadSignedData(std::vector<BYTE>& signedData) {
  if (!file_.IsOpen()) return false;
  if (!file_.Seek(signedDataOffset_)) return false;
  std::vector<BYTE> stored(signedDataSize_);
  if (!file_.ReadExactly(stored.data(), signedDataSize_)) return false;
  if (stored[0] != 0x30) return false;  // a SEQUENCE
  const size_t length = DerElementLength(stored.data(), stored.size());
  if (length == 0 || stored.size() - length >= 8) return false;
  for (size_t i = length; i < stored.size(); ++i)
    if (stored[i] != 0) return false;
  stored.resize(length);
  signedData.swap(stored);
  return true;
}

bool CSignedCabinet::ComputeDigest(ALG_ID algorithm, CCabinetDigestStream* streamed,
                                   std::vector<BYTE>& digest) {
  if (!file_.IsOpen()) return false;
  // The streamed digest saw the bytes that were written to this file, which
  // no one else could write since: its own writer holds it open.
  if (algorithm == CALG_SHA_256 && streamed != nullptr &&
      streamed->Finish(signedDataOffset_, digest))
    return true;
  CCryptHash hash;
  if (!hash.Start(algorithm) || !AddCoveredHeader(hash, header_)) return false;
  if (!file_.Seek(kHeaderSize)) return false;
  std::vector<BYTE> buffer(256 * 1024);
  uint32_t left = signedDataOffset_ - static_cast<uint32_t>(kHeaderSize);
  while (left > 0) {
    const DWORD part = left < buffer.size() ? left : static_cast<DWORD>(buffer.size());
    if (!file_.ReadExactly(buffer.data(), part) || !hash.Add(buffer.data(), part)) return false;
    left -= part;
  }
  return hash.Finish(digest);
}
