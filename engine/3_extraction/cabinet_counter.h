// CCabinetCounter: learns how many files a cabinet holds and how many bytes
// they make once decompressed, by decompressing all of it and writing
// nothing.
#pragma once

#include <cstdint>

#include "cabinet_fdi.h"

class CCabinetCounter : public CCabinet {
 public:
  CCabinetCounter();

  // Counts the opened cabinet. False, with both values untouched, when it is
  // not open or FDI cannot read it through to its end.
  bool Count(int32_t& fileCount, int32_t& totalBytes);

 private:
  INT_PTR OnCopyFile(PFDINOTIFICATION note) override;
  INT_PTR OnCloseFileInfo(PFDINOTIFICATION note) override;
  void CloseOutput() override {}
  static UINT __cdecl AddBytes(INT_PTR handle, void* buffer, UINT count);

  int32_t fileCount_ = 0;   // files announced so far
  int32_t totalBytes_ = 0;  // bytes delivered for them so far
};
