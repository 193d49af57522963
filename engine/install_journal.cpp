// CInstallJournal: entries, one per line, oldest first:
//   staged PATH            a new file is being copied to PATH
//   folder PATH            the folder PATH is being made
//   unregister PATH        the old server at PATH is being unregistered
//   aside PATH ASIDE       the old file PATH is being renamed to ASIDE
//   place STAGED PATH      the staged file is being renamed to PATH
//   register PATH          the new server at PATH is being registered
//   reg...                 the records as they were (a registry snapshot)
//   records                the records are being rewritten
//   commit                 the new version is recorded
#include "install_journal.h"

#include <algorithm>

#include "journal_line.h"
#include "path_util.h"
#include "registry_snapshot.h"
#include "server_registration.h"

namespace {

bool Exists(const std::string& path) { return GetPathType(path.c_str()) != PathMissing; }

// Deletes a file, or when it cannot be deleted now (a process still has it
// loaded), moves it out of the way and has it deleted at the next start.
bool Discard(const std::string& path) {
  if (!Exists(path) || DeleteFileA(path.c_str())) return true;
  const std::string doomed = path + ".~ovdel";
  if (!MoveFileExA(path.c_str(), doomed.c_str(), MOVEFILE_REPLACE_EXISTING)) return false;
  MoveFileExA(doomed.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
  return true;
}

// The set-aside file of path's "aside" entry; empty when path had none.
std::string AsideOf(const std::vector<std::string>& lines, const std::string& path) {
  for (const std::string& line : lines) {
    const std::vector<std::string> f = SplitJournalFields(line);
    if (f[0] == "aside" && f.size() == 3 && IsSamePath(f[1], path))
      return f[2];
  }
  return std::string();
}

// Undoes lines, oldest first in the vector, newest first in time: a new
// server is unregistered while its file is still there, new files go
// before old ones come back, and the old servers are registered again
// last. Each step looks at the disk first, so that undoing twice (after a
// kill in the middle of an undo) is harmless. False when a file could not
// be put back; the journal must then be kept for another try.
bool UndoEntries(const std::vector<std::string>& lines) {
  if (std::find(lines.begin(), lines.end(), "records") != lines.end())
    CRegistrySnapshot::Restore(lines);
  for (auto line = lines.rbegin(); line != lines.rend(); ++line) {
    const std::vector<std::string> f = SplitJournalFields(*line);
    if (f[0] == "register" && f.size() == 2 && Exists(f[1])) UnregisterServer(f[1].c_str());
  }
  bool complete = true;
  for (auto line = lines.rbegin(); line != lines.rend(); ++line) {
    const std::vector<std::string> f = SplitJournalFields(*line);
    if (f[0] == "place" && f.size() == 3) {
      // Until the rename is done the staged file is there; after it, the
      // file at PATH is the new one, unless an earlier undo has already
      // put the old one back from aside.
      const std::string aside = AsideOf(lines, f[2]);
      if (Exists(f[1]))
        complete &= Discard(f[1]);
      else if (aside.empty() || Exists(aside))
        complete &= Discard(f[2]);
    } else if (f[0] == "aside" && f.size() == 3 && Exists(f[2])) {
      complete &= MoveFileExA(f[2].c_str(), f[1].c_str(), MOVEFILE_REPLACE_EXISTING) != FALSE;
    } else if (f[0] == "staged" && f.size() == 2) {
      complete &= Discard(f[1]);
    } else if (f[0] == "folder" && f.size() == 2) {
      RemoveDirectoryA(f[1].c_str());  // only while empty
    }
  }
  // The old server, and every shared server a new copy replaced, whose
  // registration the new copy's may have overwritten or removed.
  for (const std::string& line : lines) {
    const std::vector<std::string> f = SplitJournalFields(line);
    if (f.size() == 2 && Exists(f[1]) &&
        (f[0] == "unregister" || (f[0] == "register" && !AsideOf(lines, f[1]).empty())))
      RegisterServer(f[1].c_str());
  }
  return complete;
}

void DeleteSetAside(const std::vector<std::string>& lines) {
  for (const std::string& line : lines) {
    const std::vector<std::string> f = SplitJournalFields(line);
    if (f[0] == "aside" && f.size() == 3) Discard(f[2]);
  }
}

bool ReadJournal(const std::string& path, std::vector<std::string>& lines) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  std::string text;
  char buffer[8192];
  DWORD count = 0;
  while (ReadFile(file, buffer, sizeof buffer, &count, nullptr) && count > 0)
    text.append(buffer, count);
  CloseHandle(file);
  // A line cut short by the kill was never acted on: only whole lines count.
  size_t start = 0;
  for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
    lines.push_back(text.substr(start, end - start));
  return true;
}

}  // namespace

CInstallJournal::CInstallJournal(const std::string& journalPath) : path_(journalPath) {
  if (path_.empty()) return;
  file_ = CreateFileA(path_.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                      FILE_ATTRIBUTE_NORMAL, nullptr);
  intact_ = file_ != INVALID_HANDLE_VALUE;
}

CInstallJournal::~CInstallJournal() {
  if (file_ != INVALID_HANDLE_VALUE) CloseHandle(file_);
}

void CInstallJournal::Append(const std::string& line) {
  lines_.push_back(line);
  if (file_ == INVALID_HANDLE_VALUE) return;
  const std::string text = line + "\n";
  DWORD written = 0;
  if (!WriteFile(file_, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) ||
      written != text.size())
    intact_ = false;
}

void CInstallJournal::Staged(const std::string& stagedPath) {
  Append(JoinJournalFields({"staged", stagedPath}));
}

void CInstallJournal::MadeFolder(const std::string& folder) {
  Append(JoinJournalFields({"folder", folder}));
}

void CInstallJournal::UnregisteredOldServer(const std::string& path) {
  Append(JoinJournalFields({"unregister", path}));
}

void CInstallJournal::SetAside(const std::string& path, const std::string& asidePath) {
  Append(JoinJournalFields({"aside", path, asidePath}));
}

void CInstallJournal::Placed(const std::string& stagedPath, const std::string& path) {
  Append(JoinJournalFields({"place", stagedPath, path}));
}

void CInstallJournal::Registered(const std::string& path) {
  Append(JoinJournalFields({"register", path}));
}

void CInstallJournal::SavedRecords(const CRegistrySnapshot& snapshot) {
  for (const std::string& line : snapshot.Lines()) Append(line);
}

void CInstallJournal::RewritingRecords() { Append("records"); }

void CInstallJournal::Commit() {
  Append("commit");
  DeleteSetAside(lines_);
  if (file_ != INVALID_HANDLE_VALUE) CloseHandle(file_);
  file_ = INVALID_HANDLE_VALUE;
  if (!path_.empty()) DeleteFileA(path_.c_str());
  lines_.clear();
}

void CInstallJournal::RollBack() {
  const bool complete = UndoEntries(lines_);
  if (file_ != INVALID_HANDLE_VALUE) CloseHandle(file_);
  file_ = INVALID_HANDLE_VALUE;
  // What could not be put back now is tried again by the next job.
  if (complete && !path_.empty()) DeleteFileA(path_.c_str());
  lines_.clear();
}

void RecoverInterruptedInstall(const std::string& journalPath) {
  std::vector<std::string> lines;
  if (!ReadJournal(journalPath, lines)) return;
  if (std::find(lines.begin(), lines.end(), "commit") != lines.end())
    DeleteSetAside(lines);
  else if (!UndoEntries(lines))
    return;  // tried again by the next job
  DeleteFileA(journalPath.c_str());
}
