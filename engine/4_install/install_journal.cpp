// CInstallJournal: entries, one per line, oldest first:
//   staged PATH              a new file is being copied to PATH
//   folder PATH              the folder PATH is being made
//   unregister PATH          the old server at PATH is being unregistered
//   aside PATH ASIDE         the old file PATH is being renamed to ASIDE
//   place STAGED PATH SIZE TIME  the staged file (SIZE bytes, last written
//                            at TIME, a FILETIME in hexadecimal) is being
//                            renamed to PATH
//   register PATH           the new server at PATH is being registered
//   reg...                   the records as they were (a registry snapshot)
//   records                  the records are being rewritten
//   commit                   the new version is recorded
//   calling ENTRY PATH       undo is calling the server's entry point
//   called ENTRY PATH        ... and the call came back
#include "install_journal.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "file_install.h"
#include "install_package.h"
#include "journal_line.h"
#include "path_util.h"
#include "registry_key.h"
#include "registry_snapshot.h"
#include "server_registration.h"

namespace {

// A journal holds a few dozen lines and a snapshot of some keys, each value
// of at most 64 KiB: the writer stops before this size, and a larger file
// was not written by an install.
constexpr DWORD kLargestJournal = 4 * 1024 * 1024;

// Old files outside the install folders (a control registered in Program
// Files, say) are named by a journal only while this key, which only
// administrators may write, names them too: the journal alone never makes
// the engine load a server from anywhere. Each value's name is a path.
const char kOldPathsKey[] = "SOFTWARE\\OVSetupCore\\Journal";

bool IsOldPathRecorded(const std::string& path) {
  CRegistryKey key(KEY_READ);
  return key.OpenKey(HKEY_LOCAL_MACHINE, kOldPathsKey, OpenExisting) == ERROR_SUCCESS &&
         key.ValueExists(path.c_str());
}

bool RecordOldPath(const std::string& path) {
  CRegistryKey key(KEY_READ | KEY_WRITE);
  return key.OpenKey(HKEY_LOCAL_MACHINE, kOldPathsKey, OpenOrCreate) == ERROR_SUCCESS &&
         key.SetDWORD(path.c_str(), 1) == ERROR_SUCCESS &&
         RegFlushKey(key.GetHandle()) == ERROR_SUCCESS;
}

// Once no journal is left, nothing may be named any more.
void ForgetOldPaths() { RegDeleteKeyA(HKEY_LOCAL_MACHINE, kOldPathsKey); }

const char kRegisterEntry[] = "DllRegisterServer";
const char kUnregisterEntry[] = "DllUnregisterServer";

bool Exists(const std::string& path) { return GetPathType(path.c_str()) != PathMissing; }

// Opens path itself, never what a link there points to; invalid when path
// is a link or a folder.
HANDLE OpenPlainFile(const std::string& path, DWORD access) {
  HANDLE file = CreateFileA(path.c_str(), access, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  BY_HANDLE_FILE_INFORMATION info;
  if (file != INVALID_HANDLE_VALUE &&
      (!GetFileInformationByHandle(file, &info) ||
       (info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)))) {
    CloseHandle(file);
    return INVALID_HANDLE_VALUE;
  }
  return file;
}

bool EndsWith(const std::string& text, const std::string& tail) {
  return text.size() > tail.size() && IsSamePath(text.substr(text.size() - tail.size()), tail);
}

// Deletes a file, or when it cannot be deleted now (a process still has it
// loaded), moves it out of the way and has it deleted at the next start.
bool Discard(const std::string& path) {
  if (!Exists(path) || DeleteFileA(path.c_str())) return true;
  const std::string doomed = path + ".~ovdel";
  if (!MoveFileExA(path.c_str(), doomed.c_str(), MOVEFILE_REPLACE_EXISTING)) return false;
  MoveFileExA(doomed.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
  return true;
}

std::string FileTimeText(const FILETIME& time) {
  char text[17];
  std::snprintf(text, sizeof text, "%08lX%08lX", static_cast<unsigned long>(time.dwHighDateTime),
                static_cast<unsigned long>(time.dwLowDateTime));
  return text;
}

// "SIZE" and "TIME" of a place entry for the file at path.
bool ReadIdentity(const std::string& path, std::string& size, std::string& time) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return false;
  size = std::to_string((static_cast<unsigned long long>(data.nFileSizeHigh) << 32) |
                        data.nFileSizeLow);
  time = FileTimeText(data.ftLastWriteTime);
  return true;
}

}  // namespace

// The folders an install puts files in, as recovery finds them now.
struct InstallFolders {
  std::string cache, windows, system;

  bool Read() {
    if (!GetActiveXCacheFolder(cache)) cache.clear();
    TrimTrailingSlashes(cache);
    return GetSystemFolders(windows, system);
  }

  // The cache folder or one of its CONFLICT.n folders.
  bool IsCacheFolder(const std::string& folder) const {
    if (cache.empty()) return false;
    if (IsSamePath(folder, cache)) return true;
    const std::string name = GetFileNameFromPath(folder.c_str());
    return IsSamePath(GetParentPath(folder.c_str(), false), cache) && name.size() > 9 &&
           IsSamePath(name.substr(0, 9), "CONFLICT.") &&
           name.find_first_not_of("0123456789", 9) == std::string::npos;
  }

  // A file directly in one of the folders an install writes.
  bool IsInstallPath(const std::string& path) const {
    const std::string name = GetFileNameFromPath(path.c_str());
    if (name.empty() || !IsContainedName(name.c_str())) return false;
    const std::string folder = GetParentPath(path.c_str(), false);
    return IsCacheFolder(folder) || IsSamePath(folder, windows) || IsSamePath(folder, system);
  }

  // A file of the old version: in an install folder, or wherever the
  // registry named it when it was recorded (kOldPathsKey).
  bool IsOldPath(const std::string& path) const {
    return IsInstallPath(path) || (IsAbsoluteFilePath(path) && IsOldPathRecorded(path));
  }

 private:
  static bool IsAbsoluteFilePath(const std::string& path) {
    return HasDriveLetter(path.c_str()) && path.size() > 3 &&
           (path[2] == '\\' || path[2] == '/') && IsContainedName(path.c_str() + 3) &&
           path.find_first_of("*?\"<>|", 3) == std::string::npos;
  }
};

namespace {

bool IsDecimal(const std::string& text) {
  return !text.empty() && text.size() <= 20 &&
         text.find_first_not_of("0123456789") == std::string::npos;
}

// The one rule of what a journal may say, applied by the writer before
// each entry and by recovery to each line: only the engine's entries,
// naming only its own files in the install folders, the old version's files
// the registry named, and the records it rewrites as it can put them back.
bool IsEngineEntry(const std::vector<std::string>& f, const InstallFolders& folders) {
  const std::string& kind = f[0];
  if (CRegistrySnapshot::IsSnapshotLine(f)) return CRegistrySnapshot::IsRestorable(f);
  if (kind == "records" || kind == "commit") return f.size() == 1;
  if (kind == "folder") return f.size() == 2 && folders.IsCacheFolder(f[1]);
  if (kind == "unregister") return f.size() == 2 && folders.IsOldPath(f[1]);
  if (kind == "register") return f.size() == 2 && folders.IsInstallPath(f[1]);
  if (kind == "staged") {
    const std::string suffix = CInstallPackage::StagedPath("");
    return f.size() == 2 && EndsWith(f[1], suffix) &&
           folders.IsInstallPath(f[1].substr(0, f[1].size() - suffix.size()));
  }
  if (kind == "aside")
    return f.size() == 3 && folders.IsOldPath(f[1]) &&
           f[2] == CInstallPackage::SetAsidePath(f[1]);
  if (kind == "place")
    return f.size() == 5 && folders.IsInstallPath(f[2]) &&
           f[1] == CInstallPackage::StagedPath(f[2]) && IsDecimal(f[3]) && f[4].size() == 16 &&
           f[4].find_first_not_of("0123456789ABCDEF") == std::string::npos;
  if (kind == "calling" || kind == "called")
    return f.size() == 3 && (f[1] == kRegisterEntry || f[1] == kUnregisterEntry) &&
           folders.IsOldPath(f[2]);
  return false;
}

// One journal being undone: its entries, read once, and the file that
// undo writes its progress to (none for a journal in memory only).
class CUndo {
 public:
  CUndo(const std::vector<std::string>& lines, CJournalFile& file) : lines_(lines), file_(file) {
    for (const std::string& line : lines) entries_.push_back(SplitJournalFields(line));
  }

  // A new server is unregistered while its file is still there, new files
  // go before old ones come back, the old servers are registered again,
  // and the records are put back last, over whatever the entry points
  // wrote. Each step looks at the disk first, so that undoing twice (after
  // a kill in the middle of an undo) is harmless. A file at a placed path
  // that is not the one this journal placed belongs to a later install:
  // neither it, nor its old file, nor the records are touched. False when
  // a file could not be put back or an old server's registration failed;
  // a call skipped because it never came back counts as made.
  bool Run() {
    for (const auto& f : entries_)
      if (f[0] == "place" && IsLaterFile(f)) later_.push_back(f[2]);

    bool complete = true;
    for (auto f = entries_.rbegin(); f != entries_.rend(); ++f)
      if ((*f)[0] == "register" && IsPlacedFile((*f)[1]))
        complete &= CallOnce(kUnregisterEntry, (*f)[1]) != kNotWritten;
    for (auto f = entries_.rbegin(); f != entries_.rend(); ++f) {
      const std::vector<std::string>& e = *f;
      if (e[0] == "place") {
        if (Exists(e[1]))
          complete &= Discard(e[1]);
        else if (IsPlacedFile(e[2]))
          complete &= Discard(e[2]);
      } else if (e[0] == "aside" && Exists(e[2]) && !IsLater(e[1])) {
        complete &= MoveFileExA(e[2].c_str(), e[1].c_str(), MOVEFILE_REPLACE_EXISTING) != FALSE;
      } else if (e[0] == "staged") {
        complete &= Discard(e[1]);
      } else if (e[0] == "folder") {
        RemoveDirectoryA(e[1].c_str());  // only while empty
      }
    }
    // The old server, and every shared server a new copy replaced, whose
    // registration the new copy's may have overwritten or removed.
    for (const auto& f : entries_) {
      if (f[0] != "unregister" && !(f[0] == "register" && !AsideOf(f[1]).empty())) continue;
      if (!Exists(f[1]) || IsLater(f[1]) || IsPlacedFile(f[1])) continue;
      const CallOutcome outcome = CallOnce(kRegisterEntry, f[1]);
      complete &= outcome == kSucceeded || outcome == kSkipped;
    }
    if (later_.empty()) CRegistrySnapshot::Restore(lines_);
    return complete;
  }

 private:
  enum CallOutcome { kSucceeded, kFailed, kSkipped, kNotWritten };

  const std::vector<std::string>* Find(const char* kind, const std::string& path,
                                       size_t field) const {
    for (const auto& f : entries_)
      if (f[0] == kind && f.size() > field && IsSamePath(f[field], path)) return &f;
    return nullptr;
  }

  // The set-aside file of path's "aside" entry; empty when path had none.
  std::string AsideOf(const std::string& path) const {
    const std::vector<std::string>* aside = Find("aside", path, 1);
    return aside ? (*aside)[2] : std::string();
  }

  bool IsLater(const std::string& path) const {
    for (const std::string& later : later_)
      if (IsSamePath(later, path)) return true;
    return false;
  }

  // The file at a placed path is there, the rename happened (the staged
  // file is gone) and no earlier undo has put the old file back yet.
  bool IsRenamed(const std::vector<std::string>& place) const {
    const std::string aside = AsideOf(place[2]);
    return Exists(place[2]) && !Exists(place[1]) && (aside.empty() || Exists(aside));
  }

  bool IsLaterFile(const std::vector<std::string>& place) const {
    std::string size, time;
    return IsRenamed(place) && (!ReadIdentity(place[2], size, time) || size != place[3] ||
                                time != place[4]);
  }

  // The file at path is the one this journal placed there.
  bool IsPlacedFile(const std::string& path) const {
    const std::vector<std::string>* place = Find("place", path, 2);
    return place != nullptr && IsRenamed(*place) && !IsLater(path);
  }

  // Calls a server's entry point unless an earlier undo called it and
  // never came back: that call took its process with it, and would again.
  CallOutcome CallOnce(const char* entry, const std::string& path) {
    bool calling = false;
    for (const auto& f : entries_)
      if ((f[0] == "calling" || f[0] == "called") && f[1] == entry && IsSamePath(f[2], path))
        calling = f[0] == "calling";
    if (calling) return kSkipped;
    if (!file_.Append({JoinJournalFields({"calling", entry, path})})) return kNotWritten;
    const bool succeeded = CallDllEntryPoint(path.c_str(), entry);
    file_.Append({JoinJournalFields({"called", entry, path})});
    return succeeded ? kSucceeded : kFailed;
  }

  const std::vector<std::string>& lines_;
  std::vector<std::vector<std::string>> entries_;  // lines_ split into fields
  std::vector<std::string> later_;  // placed paths a later install owns
  CJournalFile& file_;
};

void DeleteSetAside(const std::vector<std::string>& lines) {
  for (const std::string& line : lines) {
    const std::vector<std::string> f = SplitJournalFields(line);
    if (f[0] == "aside" && f.size() == 3) Discard(f[2]);
  }
}

// The entries of the whole lines of text; false when a line is not one
// the engine wrote. A last line without its line break was cut short by a
// kill or a power loss before its step was done, and does not count.
bool ParseJournal(const std::string& text, std::vector<std::string>& entries) {
  InstallFolders folders;
  if (!folders.Read()) return false;
  size_t start = 0;
  for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
    std::string entry;
    if (!UnframeJournalLine(text.substr(start, end - start), entry) ||
        !IsEngineEntry(SplitJournalFields(entry), folders))
      return false;
    entries.push_back(entry);
  }
  return true;
}

// The whole text of a file, up to kLargestJournal bytes; false when it
// cannot be read or is larger.
bool ReadWholeFile(HANDLE file, std::string& text) {
  LARGE_INTEGER size;
  if (!GetFileSizeEx(file, &size) || size.QuadPart > kLargestJournal) return false;
  text.resize(static_cast<size_t>(size.QuadPart));
  DWORD count = 0;
  return text.empty() ||
         (ReadFile(file, &text[0], static_cast<DWORD>(text.size()), &count, nullptr) &&
          count == text.size());
}

}  // namespace

CJournalFile::~CJournalFile() { Close(); }

void CJournalFile::Close() {
  if (file_ != INVALID_HANDLE_VALUE) CloseHandle(file_);
  file_ = INVALID_HANDLE_VALUE;
}

bool CJournalFile::CreateNew(const std::string& path) {
  Close();
  file_ = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                      FILE_ATTRIBUTE_NORMAL, nullptr);
  size_ = 0;
  return IsOpen();
}

bool CJournalFile::OpenToContinue(const std::string& path, size_t wholeLines) {
  Close();
  file_ = OpenPlainFile(path, GENERIC_READ | GENERIC_WRITE);
  if (!IsOpen()) return false;
  LARGE_INTEGER end;
  end.QuadPart = static_cast<LONGLONG>(wholeLines);
  size_ = wholeLines;
  return SetFilePointerEx(file_, end, nullptr, FILE_BEGIN) && SetEndOfFile(file_);
}

bool CJournalFile::Write(const std::vector<std::string>& entries) {
  std::string text;
  for (const std::string& entry : entries) text += FrameJournalLine(entry);
  // The reader refuses what is larger; nothing it would refuse is written.
  if (size_ + text.size() > kLargestJournal) return false;
  size_ += text.size();
  if (!IsOpen()) return true;
  DWORD written = 0;
  return WriteFile(file_, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
         written == text.size();
}

bool CJournalFile::Flush() { return !IsOpen() || FlushFileBuffers(file_); }

bool CJournalFile::Append(const std::vector<std::string>& entries) {
  return Write(entries) && Flush();
}

CInstallJournal::CInstallJournal(const std::string& journalPath)
    : path_(journalPath), folders_(new InstallFolders) {
  intact_ = folders_->Read() && (path_.empty() || file_.CreateNew(path_));
}

CInstallJournal::~CInstallJournal() = default;

bool CInstallJournal::Write(const std::vector<std::string>& entries) {
  for (const std::string& entry : entries) {
    // What recovery would refuse is never written, and so never done.
    intact_ = intact_ && IsEngineEntry(SplitJournalFields(entry), *folders_);
    if (intact_) lines_.push_back(entry);
  }
  intact_ = intact_ && file_.Write(entries);
  return intact_;
}

bool CInstallJournal::Append(const std::string& entry) { return Write({entry}); }

bool CInstallJournal::AppendOldPath(const std::string& entry, const std::string& path) {
  intact_ = intact_ && (folders_->IsInstallPath(path) || RecordOldPath(path));
  return Append(entry);
}

bool CInstallJournal::Flush() {
  intact_ = intact_ && file_.Flush();
  return intact_;
}

bool CInstallJournal::Staged(const std::string& stagedPath) {
  return Append(JoinJournalFields({"staged", stagedPath}));
}

bool CInstallJournal::MadeFolder(const std::string& folder) {
  return Append(JoinJournalFields({"folder", folder}));
}

bool CInstallJournal::UnregisteredOldServer(const std::string& path) {
  return AppendOldPath(JoinJournalFields({"unregister", path}), path);
}

bool CInstallJournal::SetAside(const std::string& path, const std::string& asidePath) {
  return AppendOldPath(JoinJournalFields({"aside", path, asidePath}), path);
}

bool CInstallJournal::Placed(const std::string& stagedPath, const std::string& path) {
  std::string size, time;
  if (!ReadIdentity(stagedPath, size, time)) return false;
  return Append(JoinJournalFields({"place", stagedPath, path, size, time}));
}

bool CInstallJournal::Registered(const std::string& path) {
  return Append(JoinJournalFields({"register", path})) && Flush();
}

bool CInstallJournal::SavedRecords(const CRegistrySnapshot& snapshot) {
  return Write(snapshot.Lines());
}

bool CInstallJournal::RewritingRecords() { return Append("records") && Flush(); }

void CInstallJournal::Commit() {
  Append("commit");
  Flush();
  DeleteSetAside(lines_);
  file_.Close();
  if (!path_.empty()) DeleteFileA(path_.c_str());
  ForgetOldPaths();
  lines_.clear();
}

bool CInstallJournal::RollBack() {
  const bool complete = CUndo(lines_, file_).Run();
  file_.Close();
  // What could not be put back now is finished by the next job's recovery.
  if (complete && !path_.empty()) DeleteFileA(path_.c_str());
  if (complete) ForgetOldPaths();
  lines_.clear();
  return complete;
}

bool RecoverInterruptedInstall(const std::string& journalPath) {
  if (!MayExist(journalPath.c_str())) {
    ForgetOldPaths();
    return true;
  }
  // The journal is judged as it was found, read through no link; one the
  // engine did not write as it stands is moved aside untouched (a link as
  // a link), and nothing it names is touched.
  std::string text;
  std::vector<std::string> entries;
  HANDLE read = OpenPlainFile(journalPath, GENERIC_READ);
  const bool readable = read != INVALID_HANDLE_VALUE && ReadWholeFile(read, text);
  if (read != INVALID_HANDLE_VALUE) CloseHandle(read);
  if (!readable || !ParseJournal(text, entries)) {
    if (!MoveFileExA(journalPath.c_str(), RejectedJournalPath(journalPath).c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
      return false;
    ForgetOldPaths();
    return true;
  }
  {
    // A last line cut short is dropped, so that what undo appends starts
    // on a line of its own.
    CJournalFile file;
    if (!file.OpenToContinue(journalPath, text.rfind('\n') + 1)) return false;
    if (std::find(entries.begin(), entries.end(), "commit") != entries.end())
      DeleteSetAside(entries);
    else if (!CUndo(entries, file).Run())
      return false;
  }
  if (!DeleteFileA(journalPath.c_str())) return false;
  ForgetOldPaths();
  return true;
}

std::string RejectedJournalPath(const std::string& journalPath) {
  return journalPath + ".rejected";
}

bool IsNamedByJournal(const std::string& journalPath, const std::string& path) {
  // A rejected journal is evidence, never an instruction: what it names is
  // a leftover like any other.
  HANDLE file = OpenPlainFile(journalPath, GENERIC_READ);
  if (file == INVALID_HANDLE_VALUE) return MayExist(journalPath.c_str());
  std::string text;
  const bool read = ReadWholeFile(file, text);
  CloseHandle(file);
  // A journal too large to read may name anything.
  if (!read) return true;
  for (char& c : text)
    if (c == '\n') c = '\t';
  for (const std::string& field : SplitJournalFields(text))
    if (IsSamePath(field, path)) return true;
  return false;
}
