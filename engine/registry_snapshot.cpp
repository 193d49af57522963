// CRegistrySnapshot: each line is a tab-separated entry whose names and data
// are written in hexadecimal, since registry names may hold any character:
//   regtree ROOT PATH              delete the key at PATH and all below it
//   regkey  ROOT PATH              make the key at PATH
//   regval  ROOT PATH NAME TYPE DATA   write the value
//   regnoval ROOT PATH NAME        delete the value
#include "registry_snapshot.h"

#include <shlwapi.h>

#include <cstdlib>

#include "hex_text.h"
#include "journal_line.h"

namespace {

const char* RootName(HKEY root) { return root == HKEY_CURRENT_USER ? "HKCU" : "HKLM"; }

HKEY RootFromName(const std::string& name) {
  return name == "HKCU" ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
}

}  // namespace

void CRegistrySnapshot::CaptureKey(HKEY root, const std::string& path) {
  lines_.push_back(JoinJournalFields({"regtree", RootName(root), ToHexText(path)}));
  CaptureTree(root, path);
}

void CRegistrySnapshot::CaptureTree(HKEY root, const std::string& path) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return;
  lines_.push_back(JoinJournalFields({"regkey", RootName(root), ToHexText(path)}));

  DWORD subKeys = 0, longestSubKey = 0, values = 0, longestName = 0, longestData = 0;
  if (RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &subKeys, &longestSubKey, nullptr, &values,
                       &longestName, &longestData, nullptr, nullptr) == ERROR_SUCCESS) {
    // The lengths are counted in characters; a name in a double-byte code
    // page, or a value that grew meanwhile, needs more: the buffers grow
    // until the entry fits, since a skipped one would be lost on restore.
    std::vector<char> name((longestName + 1) * 2);
    std::vector<BYTE> data(longestData + 1);
    for (DWORD i = 0; i < values; ++i) {
      DWORD nameLength = static_cast<DWORD>(name.size());
      DWORD size = static_cast<DWORD>(data.size());
      DWORD type = 0;
      LONG status = RegEnumValueA(key, i, name.data(), &nameLength, nullptr, &type, data.data(), &size);
      if (status == ERROR_MORE_DATA) {
        name.resize(name.size() * 2 + 256);
        data.resize(size > data.size() ? size : data.size() * 2);
        --i;
        continue;
      }
      if (status != ERROR_SUCCESS) continue;
      lines_.push_back(JoinJournalFields({"regval", RootName(root), ToHexText(path),
                                          ToHexText(std::string(name.data(), nameLength)),
                                          std::to_string(type), ToHexText(data.data(), size)}));
    }
    std::vector<char> subKey((longestSubKey + 1) * 2);
    std::vector<std::string> children;
    for (DWORD i = 0; i < subKeys; ++i) {
      DWORD length = static_cast<DWORD>(subKey.size());
      LONG status = RegEnumKeyExA(key, i, subKey.data(), &length, nullptr, nullptr, nullptr, nullptr);
      if (status == ERROR_MORE_DATA) {
        subKey.resize(subKey.size() * 2 + 256);
        --i;
        continue;
      }
      if (status == ERROR_SUCCESS) children.push_back(path + "\\" + std::string(subKey.data(), length));
    }
    RegCloseKey(key);
    key = nullptr;
    for (const std::string& child : children) CaptureTree(root, child);
  }
  if (key != nullptr) RegCloseKey(key);
}

void CRegistrySnapshot::CaptureValue(HKEY root, const std::string& keyPath,
                                     const std::string& name) {
  DWORD type = 0;
  DWORD size = 0;
  HKEY key = nullptr;
  if (RegOpenKeyExA(root, keyPath.c_str(), 0, KEY_READ, &key) == ERROR_SUCCESS) {
    if (RegQueryValueExA(key, name.c_str(), nullptr, &type, nullptr, &size) == ERROR_SUCCESS) {
      std::vector<BYTE> data(size + 1);
      if (RegQueryValueExA(key, name.c_str(), nullptr, &type, data.data(), &size) ==
          ERROR_SUCCESS) {
        lines_.push_back(JoinJournalFields({"regval", RootName(root), ToHexText(keyPath), ToHexText(name),
                               std::to_string(type), ToHexText(data.data(), size)}));
        RegCloseKey(key);
        return;
      }
    }
    RegCloseKey(key);
  }
  lines_.push_back(JoinJournalFields({"regnoval", RootName(root), ToHexText(keyPath), ToHexText(name)}));
}

void CRegistrySnapshot::Restore(const std::vector<std::string>& lines) {
  for (const std::string& line : lines) {
    std::vector<std::string> f = SplitJournalFields(line);
    if (f.size() < 3) continue;
    const HKEY root = RootFromName(f[1]);
    const std::string path = FromHexText(f[2]);
    if (f[0] == "regtree") {
      SHDeleteKeyA(root, path.c_str());
    } else if (f[0] == "regkey") {
      HKEY key = nullptr;
      if (RegCreateKeyExA(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                          nullptr) == ERROR_SUCCESS)
        RegCloseKey(key);
    } else if (f[0] == "regval" && f.size() == 6) {
      const std::string data = FromHexText(f[5]);
      HKEY key = nullptr;
      if (RegCreateKeyExA(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                          nullptr) != ERROR_SUCCESS)
        continue;
      RegSetValueExA(key, FromHexText(f[3]).c_str(), 0, std::strtoul(f[4].c_str(), nullptr, 10),
                     reinterpret_cast<const BYTE*>(data.data()), static_cast<DWORD>(data.size()));
      RegCloseKey(key);
    } else if (f[0] == "regnoval" && f.size() == 4) {
      SHDeleteValueA(root, path.c_str(), FromHexText(f[3]).c_str());
    }
  }
}
