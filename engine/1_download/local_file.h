// CLocalFile owns one Win32 file handle: the package file while it is
// downloaded, and installed files whose times are carried across a copy.
//
// The handle is INVALID_HANDLE_VALUE while the object is closed. Others may
// read the file while it is open (FILE_SHARE_READ), never write it.
// Operations return false when Windows refuses the call (GetLastError then
// tells why); on a closed object they return false without calling Windows. Copying is not allowed: the handle has one owner.
#pragma once

#include <windows.h>

class CLocalFile {
 public:
  // How Open opens the file.
  enum OpenMode {
    OpenOrCreateForWrite = 1,  // GENERIC_WRITE, OPEN_ALWAYS
    CreateForWrite = 2,        // GENERIC_WRITE, CREATE_ALWAYS: truncates an existing file
    ExistingForWrite = 3,      // GENERIC_WRITE, OPEN_EXISTING
    ExistingForRead = 4,       // GENERIC_READ, OPEN_EXISTING
    CreateForReadWrite = 5,    // GENERIC_READ | GENERIC_WRITE, CREATE_ALWAYS
  };

  CLocalFile();
  virtual ~CLocalFile();  // closes the handle
  CLocalFile(const CLocalFile&) = delete;
  CLocalFile& operator=(const CLocalFile&) = delete;

  // Opens path as mode says, with the given attribute and flag word. False
  // when this object already holds a handle (which stays as it is) or when
  // CreateFileA fails.
  bool Open(const char* path, OpenMode mode, DWORD attributes);
  // Takes a duplicate of file, an open handle of this process, with the
  // same access; it shares the file pointer with file. False when this
  // object already holds a handle or the duplicate cannot be made.
  bool OpenDuplicate(HANDLE file);
  void Close();
  bool IsOpen() const { return handle_ != INVALID_HANDLE_VALUE; }
  HANDLE Handle() const { return handle_; }
  // Gives the handle up to a new owner; the object is closed afterwards.
  HANDLE Detach() {
    const HANDLE handle = handle_;
    handle_ = INVALID_HANDLE_VALUE;
    return handle;
  }

  // WriteFile of count bytes; its result is the answer.
  bool Write(const void* buffer, DWORD count);
  // ReadFile of exactly count bytes from where the file stands: false when
  // the call fails or the file ends first.
  bool ReadExactly(void* buffer, DWORD count);
  bool GetSize(ULONGLONG& size) const;
  // Moves the file pointer to offset bytes from the start.
  bool Seek(ULONGLONG offset);
  // Creation and last-write times; the last-access time is neither read
  // nor changed.
  bool GetTimes(FILETIME& creation, FILETIME& lastWrite) const;
  bool SetTimes(const FILETIME& creation, const FILETIME& lastWrite);

 private:
  HANDLE handle_;
};

// Read or set the creation and last-write times of the file at path. False
// for a null path, a file that cannot be opened, or a failed call.
bool ReadFileTimes(const char* path, FILETIME& creation, FILETIME& lastWrite);
bool WriteFileTimes(const char* path, const FILETIME& creation, const FILETIME& lastWrite);
