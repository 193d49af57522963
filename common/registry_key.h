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
#include <vector>

enum KeyOpenMode {
  CreateNewOnly,  // open; an existing key gives ERROR_ALREADY_EXISTS and stays open
  Recreate,       // delete (fails on a key with subkeys), then create;
                  // 87 for a null or empty path, which would name root
  OpenExisting,
  OpenOrCreate,
};

// Counts and longest lengths (in characters, without the terminating zero;
// data in bytes) of one key's subkeys and values.
struct RegistryKeyInfo {
  DWORD subKeys = 0;
  DWORD longestSubKeyName = 0;
  DWORD values = 0;
  DWORD longestValueName = 0;
  DWORD longestData = 0;
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
  // Opens root\path as mode says; 87 for a mode outside KeyOpenMode. An
  // empty path opens root itself, as a handle of this key's own.
  LONG OpenKey(HKEY root, const char* path, KeyOpenMode mode);
  // key.OpenKey(this key, name, mode); 6 when closed or name is null.
  LONG OpenSubKey(const char* name, CRegistryKey& key, KeyOpenMode mode);
  // Creates the subkey name if it is missing and closes it again.
  LONG CreateSubKey(const char* name);

  bool ValueExists(const char* name) const;
  // Reads a value; 87 when it exists with a type other than type.
  LONG QueryValue(const char* name, DWORD type, void* data, DWORD* size) const;
  LONG QueryStringRaw(const char* name, char* buffer, DWORD* size) const;
  // Any value with its type; data is resized to the value's size.
  LONG QueryAnyValue(const char* name, DWORD& type, std::vector<BYTE>& data) const;
  // A REG_SZ value up to its first zero byte. On failure text is left as it
  // was.
  LONG QueryString(const char* name, std::string& text) const;
  // On failure value is left as it was; a value longer than 4 bytes fails
  // with ERROR_MORE_DATA.
  LONG QueryDWORD(const char* name, DWORD& value) const;

  LONG SetValue(const char* name, DWORD type, const void* data, DWORD size);
  // REG_SZ stored without its terminating zero (an empty text is stored as
  // zero bytes), as the install records have always been written.
  LONG SetString(const char* name, const char* text);
  LONG SetDWORD(const char* name, DWORD value);
  LONG SetBinary(const char* name, const void* data, DWORD size);

  bool QueryInfo(RegistryKeyInfo& info) const;
  // Number of values and the longest value name plus one for its zero.
  bool QueryInfo(DWORD& valueCount, DWORD& maxValueNameLength) const;
  // Name of value index into buffer of length characters.
  bool EnumValueName(DWORD index, char* buffer, DWORD length) const;
  // Value index, whatever the length of its name and data: a name in a
  // double-byte code page, or a value that grew since QueryInfo, gets
  // larger buffers.
  LONG EnumValue(DWORD index, std::string& name, DWORD& type, std::vector<BYTE>& data) const;
  LONG EnumSubKeyName(DWORD index, std::string& name) const;

  // Neither reports its outcome; both do nothing on a closed key.
  void DeleteValue(const char* name);
  // The subkey and all below it; a null or empty name, which would name
  // this key itself, does nothing.
  void DeleteSubTree(const char* name);
  // The subkey, only when it has no subkeys of its own; 87 for a null or
  // empty name.
  LONG DeleteSubKey(const char* name);

 private:
  HKEY handle_ = nullptr;
  REGSAM access_;
};

// HKLM's class ids, where machine-wide servers are registered.
extern const char kMachineClassIdsKey[];

// The registered in-process server of clsid: the default value of HKLM
// "SOFTWARE\Classes\CLSID\<clsid>\InprocServer32" (which may be empty); false
// when there is none.
bool GetInprocServerPath(const char* clsid, std::string& path);
