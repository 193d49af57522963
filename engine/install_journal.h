// CInstallJournal: the write-ahead log of one install stage, which lets a
// failed install, or one whose process was killed, be undone exactly.
//
// Every step that changes the system is first written down, then done: a
// file staged beside its destination, a folder made, the old server
// unregistered, an old file set aside, a new file moved into place, a
// server registered, the registry records about to be rewritten (with a
// snapshot of them as they were). RollBack undoes whatever the entries
// name, newest first; Commit drops what was set aside once the new version
// is recorded. A step whose entry was written but which was never done is
// recognised by what is on disk, so undoing it is harmless.
//
// The entries are kept in memory and, when the journal has a file, also
// appended to it as they are written. A job that finds a journal file left
// by a killed job (it holds the job lock, so nobody else is writing it)
// calls RecoverInterruptedInstall before anything else. The file is not
// flushed to the disk after each entry: it protects against a process that
// is killed, which leaves written data with the system; a power loss in the
// middle of an install is not covered.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

class CRegistrySnapshot;

class CInstallJournal {
 public:
  // journalPath may be empty: the journal then lives in memory only.
  explicit CInstallJournal(const std::string& journalPath);
  ~CInstallJournal();  // closes the file; neither rolls back nor commits
  CInstallJournal(const CInstallJournal&) = delete;
  CInstallJournal& operator=(const CInstallJournal&) = delete;

  // Each records one step before the caller does it.
  void Staged(const std::string& stagedPath);
  void MadeFolder(const std::string& folder);
  void UnregisteredOldServer(const std::string& path);
  void SetAside(const std::string& path, const std::string& asidePath);
  void Placed(const std::string& stagedPath, const std::string& path);
  void Registered(const std::string& path);
  // The records as they are, before anything changes them.
  void SavedRecords(const CRegistrySnapshot& snapshot);
  // The records are about to be rewritten.
  void RewritingRecords();

  // False when the journal has a file and an entry could not be written
  // to it: a kill could then not be undone, so nothing may be changed.
  bool IsIntact() const { return intact_; }

  // The new version is recorded: deletes what was set aside and the file.
  void Commit();
  // Undoes every recorded step, newest first, and deletes the file.
  void RollBack();

 private:
  void Append(const std::string& line);

  std::string path_;
  HANDLE file_ = INVALID_HANDLE_VALUE;  // owned; open while entries may follow
  bool intact_ = true;
  std::vector<std::string> lines_;      // every entry written, oldest first
};

// Completes what a killed job left in the journal at journalPath: rolls it
// back, or, when the new version had been recorded, finishes the commit.
// Does nothing when there is no journal.
void RecoverInterruptedInstall(const std::string& journalPath);
