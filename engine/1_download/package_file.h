// CPackageFile: the downloaded package, held open by its job from the first
// byte of the download to the end of the extraction. Others may read it,
// never write, rename or delete it, so the file that Windows and the
// engine check is the file that is unpacked. The platform's verdict, the
// engine's own check and the cabinet reader all work on this handle or a
// duplicate of it. Its bytes are hashed as they are written (see
// CCabinetDigestStream).
#pragma once

#include <windows.h>

#include <string>

#include "authenticode_digest.h"
#include "local_file.h"

class CPackageFile {
 public:
  CPackageFile() = default;
  CPackageFile(const CPackageFile&) = delete;
  CPackageFile& operator=(const CPackageFile&) = delete;

  // Creates path (replacing any file of that name) for reading and writing.
  bool Create(const char* path) {
    path_ = path;
    return file_.Open(path, CLocalFile::CreateForReadWrite, FILE_ATTRIBUTE_NORMAL);
  }
  // Appends count bytes and hashes them.
  bool Write(const BYTE* data, DWORD count) {
    digest_.Add(data, count);
    return file_.Write(data, count);
  }

  const std::string& Path() const { return path_; }
  HANDLE Handle() const { return file_.Handle(); }
  CCabinetDigestStream& Digest() { return digest_; }

 private:
  std::string path_;
  CLocalFile file_;
  CCabinetDigestStream digest_;
};
