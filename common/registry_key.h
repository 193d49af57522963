// CRegistryKey owns one open key of the Windows registry.
//
// A key is like a folder: it holds values (named, typed data; "" names the
// default value) and subkeys. Every operation returns the Win32 error code
// of the call it makes (ERROR_SUCCESS, 0, on success) unless it says it
// returns a boolean. On a closed key every operation that reads or writes
// fails with ERROR_INVALID_HANDLE (6), or false, without calling Windows.
#pragma once

#include <windows.h>

#include <string>

enum KeyOpenMode {
  CreateNewOnly = 0,  // open; an existing key gives ERROR_ALREADY_EXISTS and stays open
  Recreate = 1,       // delete (fails on a key with subkeys), then create;
                      // 87 for a null or empty path, which would name root
  OpenExisting = 2,
  OpenOrCreate = 3,
};

class CRegistryKey {
 public:
  explicit CRegistryKey(REGSAM access = KEY_ALL_ACCESS);
  virtual ~CRegistryKey();  // closes the key
  CRegistryKey(const CRegistryKey&) = delete;
  CRegistryKey& operator=(const CRegistryKey&) = delete;

  HKEY GetHandle() const { return handle_; }
  bool IsOpen() const { return handle_ != nullptr; }
  // The access mask of every later open or create.
  void SetAccess(REGSAM access) { access_ = access; }

  // Closes the key; 0 when it was already closed.
  LONG Close();
  // Close, then RegOpenKeyExA / RegCreateKeyExA with this key's access.
  LONG Open(HKEY root, const char* path);
  LONG Create(HKEY root, const char* path);
  // Opens root\path as mode says; 87 for an unknown mode.
  LONG OpenKey(HKEY root, const char* path, int mode);
  // key.OpenKey(this key, name, mode); 6 when closed or name is null.
  LONG OpenSubKey(const char* name, CRegistryKey& key, int mode);
  // Creates the subkey name if it is missing and closes it again.
  LONG CreateSubKey(const char* name);

  bool ValueExists(const char* name) const;
  // Reads a value; 87 when it exists with a type other than type.
  LONG QueryValue(const char* name, DWORD type, void* data, DWORD* size) const;
  LONG QueryStringRaw(const char* name, char* buffer, DWORD* size) const;
  // A REG_SZ value up to its first zero byte. On failure text and value
  // are left as they were; a value longer than 4 bytes fails with
  // ERROR_MORE_DATA.
  LONG QueryString(const char* name, std::string& text) const;
  LONG QueryDWORD(const char* name, DWORD& value) const;

  LONG SetValue(const char* name, DWORD type, const void* data, DWORD size);
  // REG_SZ from a printf format, stored without its terminating zero (an
  // empty text is stored as zero bytes).
  LONG SetStringF(const char* name, const char* format, ...);
  LONG SetDWORD(const char* name, DWORD value);
  LONG SetBinary(const char* name, const void* data, DWORD size);

  // Number of values and the longest value name plus one for its zero.
  bool QueryInfo(DWORD& valueCount, DWORD& maxValueNameLength) const;
  // Name of value index into buffer of length characters.
  bool EnumValueName(DWORD index, char* buffer, DWORD length) const;

  // Neither reports its outcome; both do nothing on a closed key.
  void DeleteValue(const char* name);
  // The subkey and all below it; a null or empty name, which would name
  // this key itself, does nothing.
  void DeleteSubTree(const char* name);

 private:
  HKEY handle_ = nullptr;
  REGSAM access_;
};
