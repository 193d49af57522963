#include "cabinet_extractor.h"

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstring>

#include "local_file.h"
#include "path_util.h"

namespace {

// The stored time as UTC: bit 0x0100 of the attribute word marks a time
// that is UTC already, otherwise it is the packer's local time.
bool StoredFileTime(const FDINOTIFICATION& note, FILETIME& time) {
  FILETIME stored;
  if (!DosDateTimeToFileTime(note.date, note.time, &stored)) return false;
  if (note.attribs & 0x0100) {
    time = stored;
    return true;
  }
  return LocalFileTimeToFileTime(&stored, &time) != FALSE;
}

}  // namespace

CCabinetExtractor::CCabinetExtractor(IInstallProgress* listener) : listener_(listener) {
  writeCallback_ = WriteBlock;
}

CCabinetExtractor::~CCabinetExtractor() { CloseOutput(); }

ResultCode CCabinetExtractor::ExtractTo(const char* folder) {
  if (!IsReady() || folder == nullptr || std::strlen(folder) >= sizeof(destFolder_))
    return DLL_CANT_OPEN_EXTRACTFILE;
  std::strcpy(destFolder_, folder);
  failure_ = SUCCESS;
  const BOOL copied = Copy();
  // This platform's FDI ignores a failed write and a refused close-file-info
  // and can still report success: the recorded failure wins.
  if (failure_ != SUCCESS) return failure_;
  return copied ? SUCCESS : DLL_CANT_EXTRACTFILE;
}

INT_PTR CCabinetExtractor::OnCopyFile(PFDINOTIFICATION note) {
  if (note == nullptr || outputFile_ != -1 || failure_ != SUCCESS) return -1;
  if (IsCancelled()) return Fail(DLL_USERCANCEL);
  if (!IsContainedName(note->psz1)) return Fail(DLL_CANT_EXTRACTFILE);
  if (listener_ != nullptr) listener_->OnExtractFile(note->psz1);

  const int length = std::snprintf(outputPath_, sizeof(outputPath_), "%s\\%s", destFolder_, note->psz1);
  if (length < 0 || static_cast<size_t>(length) >= sizeof(outputPath_)) return Fail(DLL_CANT_EXTRACTFILE);
  // Cabinets keep a folder's files together: its folder is made once for
  // them all, not tested again for each.
  const std::string folder = GetParentPath(outputPath_, true);
  if (folder != ensuredFolder_) {
    if (!EnsureDirectory(folder.c_str())) return Fail(DLL_CANT_EXTRACTFILE);
    ensuredFolder_ = folder;
  }

  outputFile_ = _open(outputPath_, _O_WRONLY | _O_CREAT | _O_TRUNC | _O_SEQUENTIAL | _O_BINARY,
                      _S_IREAD | _S_IWRITE);
  if (outputFile_ == -1) return Fail(DLL_CANT_EXTRACTFILE);
  return AsHandle();
}

UINT __cdecl CCabinetExtractor::WriteBlock(INT_PTR handle, void* buffer, UINT count) {
  auto* self = static_cast<CCabinetExtractor*>(FromHandle(handle));
  if (self->outputFile_ == -1 || self->failure_ != SUCCESS) {
    self->Fail(DLL_CANT_EXTRACTFILE);
    return static_cast<UINT>(-1);
  }
  const int written = _write(self->outputFile_, buffer, count);
  if (written > 0 && self->listener_ != nullptr) self->listener_->OnExtractProgress(written);
  if (written < 0 || static_cast<UINT>(written) != count) {
    self->Fail(DLL_CANT_EXTRACTFILE);
    return static_cast<UINT>(-1);
  }
  return count;
}

// The file is closed on every path, a cancel included: the job deletes the
// extraction folder next, and an open file would stay behind.
INT_PTR CCabinetExtractor::OnCloseFileInfo(PFDINOTIFICATION note) {
  if (failure_ == SUCCESS && IsCancelled()) Fail(DLL_USERCANCEL);
  if (note->hf != AsHandle() || outputFile_ == -1) Fail(DLL_CANT_EXTRACTFILE);
  CloseOutput();
  if (failure_ != SUCCESS) return -1;

  // A file whose time cannot be set stays, with the time of its writing.
  FILETIME time;
  if (StoredFileTime(*note, time)) WriteFileTimes(outputPath_, time, time);
  return TRUE;
}

void CCabinetExtractor::CloseOutput() {
  if (outputFile_ == -1) return;
  _close(outputFile_);
  outputFile_ = -1;
}

bool CCabinetExtractor::IsCancelled() { return listener_ != nullptr && listener_->IsCancelled(); }

INT_PTR CCabinetExtractor::Fail(ResultCode code) {
  if (failure_ == SUCCESS) failure_ = code;
  return -1;
}
