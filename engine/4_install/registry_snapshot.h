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
  // Only what Restore can put back is kept (IsRestorable): a value of
  // another type or of more than 64 KiB, which only another program puts
  // in the player's keys, is left out and so gone after a restore.
  void CaptureKey(HKEY root, const std::string& path);
  // One value of the key at keyPath; a missing value is remembered as such.
  void CaptureValue(HKEY root, const std::string& keyPath, const std::string& name);

  const std::vector<std::string>& Lines() const { return lines_; }

  // True when the line's keyword is one a snapshot writes.
  static bool IsSnapshotLine(const std::vector<std::string>& fields);
  // True when a snapshot line is well formed and names only what an
  // install rewrites: a control's Distribution Unit record, a file's module
  // usage key or shared count, or a control's statistics key, with a value
  // of a type the records hold and of at most 64 KiB. A journal read back
  // from the disk may hold anything; nothing else is restored.
  static bool IsRestorable(const std::vector<std::string>& fields);

  // Puts back what the snapshot lines among lines describe: a captured key
  // is deleted with everything below it and made again as it was, a
  // captured value is written again or deleted. Other lines, and snapshot
  // lines that are not restorable, are skipped.
  static void Restore(const std::vector<std::string>& lines);

 private:
  void CaptureTree(HKEY root, const std::string& path);
  void Add(const std::string& line);  // kept only when restorable

  std::vector<std::string> lines_;
};
