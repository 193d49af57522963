#include "registry_key.h"

#include <shlwapi.h>

#include <cstring>
#include <memory>
#include <new>

CRegistryKey::CRegistryKey(REGSAM access) : access_(access) {}

CRegistryKey::~CRegistryKey() { Close(); }

LONG CRegistryKey::Close() {
  if (handle_ == nullptr) return ERROR_SUCCESS;
  const LONG result = RegCloseKey(handle_);
  handle_ = nullptr;
  return result;
}

LONG CRegistryKey::Open(HKEY root, const char* path) {
  Close();
  return RegOpenKeyExA(root, path, 0, access_, &handle_);
}

LONG CRegistryKey::Create(HKEY root, const char* path) {
  Close();
  return RegCreateKeyExA(root, path, 0, nullptr, REG_OPTION_NON_VOLATILE,
                         access_, nullptr, &handle_, nullptr);
}

LONG CRegistryKey::OpenKey(HKEY root, const char* path, KeyOpenMode mode) {
  switch (mode) {
    case CreateNewOnly:
      if (Open(root, path) == ERROR_SUCCESS) return ERROR_ALREADY_EXISTS;
      return Create(root, path);
    case Recreate: {
      // RegDeleteKeyA with no name, or "", would delete root itself.
      if (path == nullptr || path[0] == '\0') return ERROR_INVALID_PARAMETER;
      const LONG deleted = RegDeleteKeyA(root, path);
      if (deleted != ERROR_SUCCESS && deleted != ERROR_FILE_NOT_FOUND) {
        return deleted;
      }
      return Create(root, path);
    }
    case OpenExisting:
      return Open(root, path);
    case OpenOrCreate:
      return Create(root, path);
    default:
      return ERROR_INVALID_PARAMETER;
  }
}

LONG CRegistryKey::OpenSubKey(const char* name, CRegistryKey& key, KeyOpenMode mode) {
  if (handle_ == nullptr || name == nullptr) return ERROR_INVALID_HANDLE;
  return key.OpenKey(handle_, name, mode);
}

LONG CRegistryKey::CreateSubKey(const char* name) {
  if (handle_ == nullptr || name == nullptr) return ERROR_INVALID_HANDLE;
  CRegistryKey subKey(KEY_ALL_ACCESS);
  return subKey.OpenKey(handle_, name, OpenOrCreate);
}

bool CRegistryKey::ValueExists(const char* name) const {
  if (handle_ == nullptr || name == nullptr) return false;
  return RegQueryValueExA(handle_, name, nullptr, nullptr, nullptr, nullptr) ==
         ERROR_SUCCESS;
}

LONG CRegistryKey::QueryValue(const char* name, DWORD type, void* data,
                              DWORD* size) const {
  if (handle_ == nullptr) return ERROR_INVALID_HANDLE;
  DWORD actualType = REG_NONE;
  const LONG result = RegQueryValueExA(handle_, name, nullptr, &actualType,
                                       static_cast<BYTE*>(data), size);
  if (result != ERROR_SUCCESS) return result;
  return actualType == type ? ERROR_SUCCESS : ERROR_INVALID_PARAMETER;
}

LONG CRegistryKey::QueryStringRaw(const char* name, char* buffer,
                                  DWORD* size) const {
  if (handle_ == nullptr || size == nullptr) return ERROR_INVALID_HANDLE;
  return QueryValue(name, REG_SZ, buffer, size);
}

LONG CRegistryKey::QueryAnyValue(const char* name, DWORD& type, std::vector<BYTE>& data) const {
  if (handle_ == nullptr) return ERROR_INVALID_HANDLE;
  DWORD size = 0;
  LONG result = RegQueryValueExA(handle_, name, nullptr, &type, nullptr, &size);
  if (result != ERROR_SUCCESS) return result;
  data.resize(size + 1);
  result = RegQueryValueExA(handle_, name, nullptr, &type, data.data(), &size);
  if (result == ERROR_SUCCESS) data.resize(size);
  return result;
}

LONG CRegistryKey::QueryString(const char* name, std::string& text) const {
  // Most texts, paths among them, fit a path's length: one read. One more
  // zeroed byte ends a value that was stored without its zero.
  char fitting[MAX_PATH + 1] = {};
  DWORD size = MAX_PATH;
  LONG result = QueryStringRaw(name, fitting, &size);
  if (result == ERROR_SUCCESS) text = fitting;
  if (result != ERROR_MORE_DATA) return result;
  size = 0;
  result = QueryStringRaw(name, nullptr, &size);
  if (result != ERROR_SUCCESS) return result;
  std::unique_ptr<char[]> buffer(new (std::nothrow) char[size + 1]());
  if (!buffer) return ERROR_NOT_ENOUGH_MEMORY;
  result = QueryStringRaw(name, buffer.get(), &size);
  if (result == ERROR_SUCCESS) text = buffer.get();
  return result;
}

LONG CRegistryKey::QueryDWORD(const char* name, DWORD& value) const {
  if (handle_ == nullptr) return ERROR_INVALID_HANDLE;
  // Read into a local so that a failed read leaves value as it was.
  DWORD read = 0;
  DWORD size = sizeof read;
  const LONG result = QueryValue(name, REG_DWORD, &read, &size);
  if (result == ERROR_SUCCESS) value = read;
  return result;
}

LONG CRegistryKey::SetValue(const char* name, DWORD type, const void* data,
                            DWORD size) {
  if (handle_ == nullptr || name == nullptr || data == nullptr) {
    return ERROR_INVALID_HANDLE;
  }
  return RegSetValueExA(handle_, name, 0, type,
                        static_cast<const BYTE*>(data), size);
}

LONG CRegistryKey::SetString(const char* name, const char* text) {
  if (text == nullptr) return ERROR_INVALID_HANDLE;
  return SetValue(name, REG_SZ, text, static_cast<DWORD>(std::strlen(text)));
}

LONG CRegistryKey::SetDWORD(const char* name, DWORD value) {
  return SetValue(name, REG_DWORD, &value, sizeof value);
}

LONG CRegistryKey::SetBinary(const char* name, const void* data, DWORD size) {
  if (handle_ == nullptr) return ERROR_INVALID_HANDLE;
  return SetValue(name, REG_BINARY, data, size);
}

bool CRegistryKey::QueryInfo(RegistryKeyInfo& info) const {
  if (handle_ == nullptr) return false;
  RegistryKeyInfo read;
  if (RegQueryInfoKeyA(handle_, nullptr, nullptr, nullptr, &read.subKeys, &read.longestSubKeyName,
                       nullptr, &read.values, &read.longestValueName, &read.longestData, nullptr,
                       nullptr) != ERROR_SUCCESS)
    return false;
  info = read;
  return true;
}

bool CRegistryKey::QueryInfo(DWORD& valueCount, DWORD& maxValueNameLength) const {
  RegistryKeyInfo info;
  if (!QueryInfo(info)) return false;
  valueCount = info.values;
  maxValueNameLength = info.longestValueName + 1;
  return true;
}

bool CRegistryKey::EnumValueName(DWORD index, char* buffer,
                                 DWORD length) const {
  if (handle_ == nullptr || buffer == nullptr) return false;
  return RegEnumValueA(handle_, index, buffer, &length, nullptr, nullptr,
                       nullptr, nullptr) == ERROR_SUCCESS;
}

LONG CRegistryKey::EnumValue(DWORD index, std::string& name, DWORD& type,
                             std::vector<BYTE>& data) const {
  if (handle_ == nullptr) return ERROR_INVALID_HANDLE;
  RegistryKeyInfo info;
  QueryInfo(info);
  // Lengths are counted in characters; a double-byte name needs twice them.
  std::vector<char> buffer((info.longestValueName + 1) * 2);
  data.resize(info.longestData + 1);
  for (;;) {
    DWORD nameLength = static_cast<DWORD>(buffer.size());
    DWORD size = static_cast<DWORD>(data.size());
    const LONG result = RegEnumValueA(handle_, index, buffer.data(), &nameLength, nullptr, &type,
                                      data.data(), &size);
    if (result == ERROR_MORE_DATA) {
      buffer.resize(buffer.size() * 2 + 256);
      data.resize(size > data.size() ? size : data.size() * 2);
      continue;
    }
    if (result == ERROR_SUCCESS) {
      name.assign(buffer.data(), nameLength);
      data.resize(size);
    }
    return result;
  }
}

LONG CRegistryKey::EnumSubKeyName(DWORD index, std::string& name) const {
  if (handle_ == nullptr) return ERROR_INVALID_HANDLE;
  RegistryKeyInfo info;
  QueryInfo(info);
  std::vector<char> buffer((info.longestSubKeyName + 1) * 2);
  for (;;) {
    DWORD length = static_cast<DWORD>(buffer.size());
    const LONG result =
        RegEnumKeyExA(handle_, index, buffer.data(), &length, nullptr, nullptr, nullptr, nullptr);
    if (result == ERROR_MORE_DATA) {
      buffer.resize(buffer.size() * 2 + 256);
      continue;
    }
    if (result == ERROR_SUCCESS) name.assign(buffer.data(), length);
    return result;
  }
}

void CRegistryKey::DeleteValue(const char* name) {
  if (handle_ == nullptr) return;
  RegDeleteValueA(handle_, name);
}

void CRegistryKey::DeleteSubTree(const char* name) {
  // With no name, or "", SHDeleteKeyA would empty this key itself.
  if (handle_ == nullptr || name == nullptr || name[0] == '\0') return;
  SHDeleteKeyA(handle_, name);
}

LONG CRegistryKey::DeleteSubKey(const char* name) {
  if (handle_ == nullptr) return ERROR_INVALID_HANDLE;
  // RegDeleteKeyA with no name, or "", would delete this key itself.
  if (name == nullptr || name[0] == '\0') return ERROR_INVALID_PARAMETER;
  return RegDeleteKeyA(handle_, name);
}

const char kMachineClassIdsKey[] = "SOFTWARE\\Classes\\CLSID";

bool GetInprocServerPath(const char* clsid, std::string& path) {
  if (clsid == nullptr) return false;
  CRegistryKey key(KEY_READ);
  const std::string keyPath = std::string(kMachineClassIdsKey) + "\\" + clsid + "\\InprocServer32";
  return key.OpenKey(HKEY_LOCAL_MACHINE, keyPath.c_str(), OpenExisting) == ERROR_SUCCESS &&
         key.QueryString("", path) == ERROR_SUCCESS;
}
