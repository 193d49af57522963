#include "local_file.h"

CLocalFile::CLocalFile() : handle_(INVALID_HANDLE_VALUE) {}

CLocalFile::~CLocalFile() { Close(); }

bool CLocalFile::Open(const char* path, OpenMode mode, DWORD attributes) {
  if (IsOpen()) return false;
  DWORD access = GENERIC_WRITE;
  DWORD disposition = OPEN_EXISTING;
  switch (mode) {
    case OpenOrCreateForWrite: disposition = OPEN_ALWAYS; break;
    case CreateForWrite: disposition = CREATE_ALWAYS; break;
    case ExistingForWrite: break;
    case CreateForReadWrite:
      access = GENERIC_READ | GENERIC_WRITE;
      disposition = CREATE_ALWAYS;
      break;
    default: access = GENERIC_READ; break;  // ExistingForRead
  }
  handle_ = CreateFileA(path, access, FILE_SHARE_READ, nullptr, disposition, attributes, nullptr);
  return IsOpen();
}

bool CLocalFile::OpenDuplicate(HANDLE file) {
  if (IsOpen()) return false;
  const HANDLE process = GetCurrentProcess();
  if (!DuplicateHandle(process, file, process, &handle_, 0, FALSE, DUPLICATE_SAME_ACCESS))
    handle_ = INVALID_HANDLE_VALUE;
  return IsOpen();
}

void CLocalFile::Close() {
  if (!IsOpen()) return;
  CloseHandle(handle_);
  handle_ = INVALID_HANDLE_VALUE;
}

bool CLocalFile::Write(const void* buffer, DWORD count) {
  if (!IsOpen()) return false;
  DWORD written = 0;
  return WriteFile(handle_, buffer, count, &written, nullptr) != FALSE;
}

bool CLocalFile::ReadExactly(void* buffer, DWORD count) {
  if (!IsOpen()) return false;
  DWORD read = 0;
  return ReadFile(handle_, buffer, count, &read, nullptr) != FALSE && read == count;
}

bool CLocalFile::GetSize(ULONGLONG& size) const {
  if (!IsOpen()) return false;
  LARGE_INTEGER value;
  if (!GetFileSizeEx(handle_, &value)) return false;
  size = static_cast<ULONGLONG>(value.QuadPart);
  return true;
}

bool CLocalFile::Seek(ULONGLONG offset) {
  if (!IsOpen()) return false;
  LARGE_INTEGER position;
  position.QuadPart = static_cast<LONGLONG>(offset);
  return SetFilePointerEx(handle_, position, nullptr, FILE_BEGIN) != FALSE;
}

bool CLocalFile::GetTimes(FILETIME& creation, FILETIME& lastWrite) const {
  if (!IsOpen()) return false;
  return GetFileTime(handle_, &creation, nullptr, &lastWrite) != FALSE;
}

bool CLocalFile::SetTimes(const FILETIME& creation, const FILETIME& lastWrite) {
  if (!IsOpen()) return false;
  return SetFileTime(handle_, &creation, nullptr, &lastWrite) != FALSE;
}

// Reading times needs no write access: a write handle would fail on a
// read-only file, and GetFileTime needs read-attribute access.
bool ReadFileTimes(const char* path, FILETIME& creation, FILETIME& lastWrite) {
  if (path == nullptr) return false;
  CLocalFile file;
  if (!file.Open(path, CLocalFile::ExistingForRead, FILE_ATTRIBUTE_NORMAL)) return false;
  return file.GetTimes(creation, lastWrite);
}

bool WriteFileTimes(const char* path, const FILETIME& creation, const FILETIME& lastWrite) {
  if (path == nullptr) return false;
  CLocalFile file;
  if (!file.Open(path, CLocalFile::ExistingForWrite, FILE_ATTRIBUTE_NORMAL)) return false;
  return file.SetTimes(creation, lastWrite);
}
