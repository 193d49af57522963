// CCabinetExtractor: writes every file of a cabinet under a destination
// folder, in cabinet order, giving each the time stored with it. It tells
// its listener about each file and each block written, and asks the
// listener's IsCancelled at each file's start and end, never in between.
#pragma once

#include <windows.h>

#include <string>

#include "cabinet_fdi.h"
#include "install_progress.h"
#include "result_code.h"

class CCabinetExtractor : public CCabinet {
 public:
  // listener may be null; it is not owned.
  explicit CCabinetExtractor(IInstallProgress* listener);
  ~CCabinetExtractor() override;  // closes a file left open by an abort

  // Extracts the opened cabinet into folder (created as needed, with the
  // sub-folders that stored names carry). 0 on success;
  // DLL_CANT_OPEN_EXTRACTFILE when not open or folder is too long;
  // DLL_USERCANCEL when a cancel was seen; DLL_CANT_EXTRACTFILE when a file
  // cannot be created or written, a stored name would leave folder, or the
  // cabinet is damaged. Files written before a failure stay.
  ResultCode ExtractTo(const char* folder);

 private:
  INT_PTR OnCopyFile(PFDINOTIFICATION note) override;
  INT_PTR OnCloseFileInfo(PFDINOTIFICATION note) override;
  void CloseOutput() override;
  static UINT __cdecl WriteBlock(INT_PTR handle, void* buffer, UINT count);
  bool IsCancelled();
  // Records the first failure and answers FDI's "stop": FDI may ignore
  // that answer, the recorded code is what ExtractTo reports.
  INT_PTR Fail(ResultCode code);

  IInstallProgress* listener_;      // not owned; skipped when null
  char destFolder_[MAX_PATH] = "";
  char outputPath_[2560] = "";      // the file being written
  std::string ensuredFolder_;       // the folder made for the file before it
  int outputFile_ = -1;             // its runtime-library descriptor, -1 when none is open
  ResultCode failure_ = SUCCESS;    // first failure of this extraction
};
