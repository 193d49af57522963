// CInstallJournal: the write-ahead log of one install stage, which lets a
// failed install, or one whose process was killed, be undone exactly.
//
// Every step that changes the system is first written down, then done: a
// file staged beside its destination, a folder made, the old server
// unregistered, an old file set aside, a new file moved into place (with
// the size and time that tell it from any later file at that path), a
// server registered, the registry records about to be rewritten (with a
// snapshot of them as they were). RollBack undoes whatever the entries
// name; Commit drops what was set aside once the new version is recorded.
// A step whose entry was written but which was never done is recognised by
// what is on disk, so undoing it is harmless.
//
// The entries are kept in memory and, when the journal has a file, also
// appended to it, each with its checksum, and flushed to the disk before
// any step that changes or removes what is there, so that neither a
// killed process nor a power loss leaves such a step done that the file
// does not name (a power loss may leave a staged copy nobody names, which
// the next install overwrites). The file is only
// ever created new: a journal that is there already belongs to an install
// nobody has finished, and is never overwritten.
//
// A job that finds a journal file left by a killed job (it holds the job
// lock, so nobody else is writing it) calls RecoverInterruptedInstall
// before anything else. Recovery acts only on a journal the engine wrote:
// every whole line must carry its checksum and name only the engine's own
// staged and set-aside files in the downloaded-controls, Windows and
// System folders, an old version's file elsewhere that an
// administrators-only key names too, and only the registry records an
// install rewrites. The writer applies the same rule to every entry, so
// what recovery would refuse is never written.
// Undo journals each server entry point it is about to call, so that a
// call that never came back (it took the process with it) is not made
// again by the next recovery.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

class CRegistrySnapshot;
struct InstallFolders;

// The journal's file, open for appending framed, flushed entries.
class CJournalFile {
 public:
  CJournalFile() = default;
  ~CJournalFile();
  CJournalFile(const CJournalFile&) = delete;
  CJournalFile& operator=(const CJournalFile&) = delete;

  // Creates path, failing when anything is there already.
  bool CreateNew(const std::string& path);
  // Opens the journal at path, never through a link, to append to it after
  // its first wholeLines bytes, and cuts off what follows them (a last
  // line that was never finished). False when that cannot be done.
  bool OpenToContinue(const std::string& path, size_t wholeLines);
  bool IsOpen() const { return file_ != INVALID_HANDLE_VALUE; }
  // Writes entries, each framed with its checksum. True without a file.
  // False, writing nothing, when the journal would grow larger than any
  // that recovery reads.
  bool Write(const std::vector<std::string>& entries);
  // Has everything written reach the disk. True without a file.
  bool Flush();
  // Write, then Flush.
  bool Append(const std::vector<std::string>& entries);
  void Close();

 private:
  HANDLE file_ = INVALID_HANDLE_VALUE;  // owned
  size_t size_ = 0;  // bytes in the journal, with or without a file
};

class CInstallJournal {
 public:
  // journalPath may be empty: the journal then lives in memory only.
  // Otherwise the file is created there; when one is there already the
  // journal is not intact.
  explicit CInstallJournal(const std::string& journalPath);
  ~CInstallJournal();  // closes the file; neither rolls back nor commits
  CInstallJournal(const CInstallJournal&) = delete;
  CInstallJournal& operator=(const CInstallJournal&) = delete;

  // Each records one step before the caller does it. False when the entry
  // could not be written to the file, or is one recovery would refuse (the
  // same rule judges both): the step must then not be done. An old file
  // outside the install folders is named in an administrators-only key
  // first, where recovery checks it again.
  //
  // These only write: making a new file or folder destroys nothing, and
  // the steps that change what is there are done only after Flush.
  bool Staged(const std::string& stagedPath);
  bool MadeFolder(const std::string& folder);
  bool UnregisteredOldServer(const std::string& path);
  bool SetAside(const std::string& path, const std::string& asidePath);
  // Also records the staged file's size and last-write time, which the
  // file keeps when it is renamed to path.
  bool Placed(const std::string& stagedPath, const std::string& path);
  // The records as they are, before anything changes them.
  bool SavedRecords(const CRegistrySnapshot& snapshot);
  // Has every entry written so far reach the disk.
  bool Flush();
  // These flush their entry.
  bool Registered(const std::string& path);
  // The records are about to be rewritten.
  bool RewritingRecords();

  // False when an entry could not be written, or was refused: a kill could
  // then not be undone, so nothing may be changed.
  bool IsIntact() const { return intact_; }

  // The new version is recorded: deletes what was set aside and the file.
  void Commit();
  // Undoes every recorded step and deletes the file. False when something
  // could not be put back: the file then stays for the next job.
  bool RollBack();

 private:
  bool Write(const std::vector<std::string>& entries);  // writes only
  bool Append(const std::string& entry);                 // writes only
  bool AppendOldPath(const std::string& entry, const std::string& path);

  std::string path_;
  std::unique_ptr<InstallFolders> folders_;  // where entries may point
  CJournalFile file_;              // open while entries may follow
  bool intact_ = true;
  std::vector<std::string> lines_; // every entry written, oldest first
};

// Completes what a killed job left in the journal at journalPath: rolls it
// back, or, when the new version had been recorded, finishes the commit.
// A journal the engine did not write as it stands (a whole line with a bad
// checksum, a path outside the install folders that the registry did not
// name, a staged or set-aside name without the engine's suffix, a registry
// key outside the records), or a link in its place, is not acted on at
// all: it is moved aside as found, to journalPath + ".rejected", and every
// file it names stays where it is. A journal that cannot be looked at
// counts as there. True when no unfinished install is left; false when the
// journal names steps that cannot be undone now, and stays for a later
// job: until then no job may change anything.
bool RecoverInterruptedInstall(const std::string& journalPath);

// Where RecoverInterruptedInstall moves a journal it does not act on.
std::string RejectedJournalPath(const std::string& journalPath);

// True when the journal at journalPath names path in any entry, or may
// (it cannot be read). Such a file may be the only copy of a working
// control and must not be thrown away as a leftover. A rejected journal
// names nothing.
bool IsNamedByJournal(const std::string& journalPath, const std::string& path);
