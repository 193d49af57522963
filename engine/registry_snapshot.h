// CRegistrySnapshot: registry keys and values as they were at one moment,
// written as text lines so that an install journal can carry them, and
// put back exactly from those lines.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

class CRegistrySnapshot {
 public:
  // root is HKEY_LOCAL_MACHINE or HKEY_CURRENT_USER. The key at path with
  // every subkey and value below it; a missing key is remembered as missing.
  void CaptureKey(HKEY root, const std::string& path);
  // One value of the key at keyPath; a missing value is remembered as such.
  void CaptureValue(HKEY root, const std::string& keyPath, const std::string& name);

  const std::vector<std::string>& Lines() const { return lines_; }

  // Puts back what the snapshot lines among lines describe: a captured key
  // is deleted with everything below it and made again as it was, a
  // captured value is written again or deleted. Other lines are skipped.
  static void Restore(const std::vector<std::string>& lines);

 private:
  void CaptureTree(HKEY root, const std::string& path);

  std::vector<std::string> lines_;
};
