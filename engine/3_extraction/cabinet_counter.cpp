#include "cabinet_counter.h"

CCabinetCounter::CCabinetCounter() { writeCallback_ = AddBytes; }

bool CCabinetCounter::Count(int32_t& fileCount, int32_t& totalBytes) {
  if (!IsReady()) return false;
  fileCount_ = 0;
  totalBytes_ = 0;
  if (!Copy()) return false;
  fileCount = fileCount_;
  totalBytes = totalBytes_;
  return true;
}

INT_PTR CCabinetCounter::OnCopyFile(PFDINOTIFICATION note) {
  if (note == nullptr) return -1;
  ++fileCount_;
  return AsHandle();
}

INT_PTR CCabinetCounter::OnCloseFileInfo(PFDINOTIFICATION) { return TRUE; }

UINT __cdecl CCabinetCounter::AddBytes(INT_PTR handle, void*, UINT count) {
  // Only the low 32 bits are kept; unsigned arithmetic makes that wrap defined.
  int32_t& total = static_cast<CCabinetCounter*>(FromHandle(handle))->totalBytes_;
  total = static_cast<int32_t>(static_cast<uint32_t>(total) + count);
  return count;
}
