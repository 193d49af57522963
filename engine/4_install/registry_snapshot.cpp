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
#include "install_records.h"
#include "journal_line.h"
#include "path_util.h"
#include "registry_key.h"

namespace {

const char* RootName(HKEY root) { return root == HKEY_CURRENT_USER ? "HKCU" : "HKLM"; }

HKEY RootFromName(const std::string& name) {
  return name == "HKCU" ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
}

bool IsHexText(const std::string& text) {
  return text.size() % 2 == 0 &&
         text.find_first_not_of("0123456789ABCDEFabcdef") == std::string::npos;
}

// True when path names a key below folder (a key path), not folder itself.
bool IsBelowKey(const std::string& path, const std::string& folder) {
  return path.size() > folder.size() + 1 && path[folder.size()] == '\\' &&
         IsSamePath(path.substr(0, folder.size()), folder);
}

// The value types the records hold; data of another type was not written
// by a snapshot.
bool IsRecordValueType(const std::string& text) {
  for (const char* type : {"0", "1", "2", "3", "4", "7", "11"})
    if (text == type) return true;
  return false;
}

// Far above anything a record holds: a value this large in the player's
// key was put there by some other program, and is not kept.
const size_t kLargestValueHex = 2 * 64 * 1024;

}  // namespace

bool CRegistrySnapshot::IsSnapshotLine(const std::vector<std::string>& fields) {
  for (const char* kind : {"regtree", "regkey", "regval", "regnoval"})
    if (fields[0] == kind) return true;
  return false;
}

bool CRegistrySnapshot::IsRestorable(const std::vector<std::string>& f) {
  const std::string& kind = f[0];
  const size_t expected = kind == "regval" ? 6 : kind == "regnoval" ? 4 : 3;
  if (!IsSnapshotLine(f) || f.size() != expected || (f[1] != "HKLM" && f[1] != "HKCU"))
    return false;
  for (size_t i = 2; i < f.size(); ++i)
    if (i != 4 && !IsHexText(f[i])) return false;
  if (kind == "regval" && (!IsRecordValueType(f[4]) || f[5].size() > kLargestValueHex))
    return false;
  // The folders of those keys, from the keys of a control and a file "x".
  const auto parent = [](const std::string& key) { return GetParentPath(key.c_str(), false); };
  const std::string path = FromHexText(f[2]);
  if (f[1] == "HKCU") return IsBelowKey(path, parent(parent(StatisticsKeyPath("x"))));
  std::string record;
  FormatDistributionUnitPath("x", record);
  const bool isValue = kind == "regval" || kind == "regnoval";
  return IsBelowKey(path, parent(record)) || IsBelowKey(path, parent(ModuleUsageKeyPath("x"))) ||
         (isValue && IsSamePath(path, kSharedDllsKeyPath));
}

void CRegistrySnapshot::CaptureKey(HKEY root, const std::string& path) {
  Add(JoinJournalFields({"regtree", RootName(root), ToHexText(path)}));
  CaptureTree(root, path);
}

void CRegistrySnapshot::Add(const std::string& line) {
  if (IsRestorable(SplitJournalFields(line))) lines_.push_back(line);
}

void CRegistrySnapshot::CaptureTree(HKEY root, const std::string& path) {
  std::vector<std::string> children;
  {
    CRegistryKey key(KEY_READ);
    if (key.OpenKey(root, path.c_str(), OpenExisting) != ERROR_SUCCESS) return;
    Add(JoinJournalFields({"regkey", RootName(root), ToHexText(path)}));
    RegistryKeyInfo info;
    if (!key.QueryInfo(info)) return;
    // A value or subkey skipped here would be lost on restore: EnumValue and
    // EnumSubKeyName take whatever buffers a name or value needs.
    std::string name;
    DWORD type = 0;
    std::vector<BYTE> data;
    for (DWORD i = 0; i < info.values; ++i) {
      if (key.EnumValue(i, name, type, data) != ERROR_SUCCESS) continue;
      Add(JoinJournalFields({"regval", RootName(root), ToHexText(path), ToHexText(name),
                             std::to_string(type), ToHexText(data.data(), data.size())}));
    }
    for (DWORD i = 0; i < info.subKeys; ++i)
      if (key.EnumSubKeyName(i, name) == ERROR_SUCCESS) children.push_back(path + "\\" + name);
  }
  for (const std::string& child : children) CaptureTree(root, child);
}

void CRegistrySnapshot::CaptureValue(HKEY root, const std::string& keyPath,
                                     const std::string& name) {
  CRegistryKey key(KEY_READ);
  DWORD type = 0;
  std::vector<BYTE> data;
  if (key.OpenKey(root, keyPath.c_str(), OpenExisting) == ERROR_SUCCESS &&
      key.QueryAnyValue(name.c_str(), type, data) == ERROR_SUCCESS) {
    Add(JoinJournalFields({"regval", RootName(root), ToHexText(keyPath), ToHexText(name),
                           std::to_string(type), ToHexText(data.data(), data.size())}));
    return;
  }
  Add(JoinJournalFields({"regnoval", RootName(root), ToHexText(keyPath), ToHexText(name)}));
}

void CRegistrySnapshot::Restore(const std::vector<std::string>& lines) {
  for (const std::string& line : lines) {
    std::vector<std::string> f = SplitJournalFields(line);
    if (!IsRestorable(f)) continue;
    const HKEY root = RootFromName(f[1]);
    const std::string path = FromHexText(f[2]);
    CRegistryKey key;
    if (f[0] == "regtree") {
      SHDeleteKeyA(root, path.c_str());
    } else if (f[0] == "regkey") {
      key.OpenKey(root, path.c_str(), OpenOrCreate);
    } else if (f[0] == "regval" && f.size() == 6) {
      const std::string data = FromHexText(f[5]);
      if (key.OpenKey(root, path.c_str(), OpenOrCreate) == ERROR_SUCCESS)
        key.SetValue(FromHexText(f[3]).c_str(), std::strtoul(f[4].c_str(), nullptr, 10),
                     data.data(), static_cast<DWORD>(data.size()));
    } else if (f[0] == "regnoval" && f.size() == 4) {
      if (key.OpenKey(root, path.c_str(), OpenExisting) == ERROR_SUCCESS)
        key.DeleteValue(FromHexText(f[3]).c_str());
    }
  }
}
