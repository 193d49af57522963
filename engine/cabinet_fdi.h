// CCabinet: one cabinet file read through the File Decompression Interface
// (FDI) of the system's Cabinet.dll, which each object loads for itself and
// unloads when it is destroyed.
//
// FDI walks the cabinet and asks back: a copy-file notification for each
// file (answer an output handle, or -1 to stop), the write callback with the
// file's decompressed data, and a close-file-info notification when the file
// is complete. Variants answer these notifications; the output handle they
// answer is the object itself (AsHandle), so the write callback finds its
// state there. The cabinet's own input handles are runtime-library file
// descriptors.
//
// An object is used by one thread (the job's worker) from its construction
// to its destruction, so nothing in it is guarded.
#pragma once

#include <windows.h>
#include <fdi.h>

class CCabinet {
 public:
  CCabinet();
  virtual ~CCabinet();  // FDIDestroy, then FreeLibrary
  CCabinet(const CCabinet&) = delete;
  CCabinet& operator=(const CCabinet&) = delete;

  // Loads Cabinet.dll and creates the FDI context (once per object), then
  // splits path at its last "\" into the cabinet's name and folder. False
  // when the library or the context cannot be had, or when either part does
  // not fit its MAX_PATH field.
  bool Open(const char* path);
  // Library, context and a cabinet name are all there.
  bool IsReady() const;

 protected:
  // Runs FDICopy over the whole cabinet; FALSE when not ready, when FDI
  // cannot read the cabinet or a notification answered -1.
  BOOL Copy();

  virtual INT_PTR OnCopyFile(PFDINOTIFICATION note) = 0;
  virtual INT_PTR OnCloseFileInfo(PFDINOTIFICATION note) = 0;
  // FDI gives up on a file whose output handle it holds and asks for that
  // handle to be closed.
  virtual void CloseOutput() = 0;

  INT_PTR AsHandle() { return reinterpret_cast<INT_PTR>(this); }
  static CCabinet* FromHandle(INT_PTR handle) { return reinterpret_cast<CCabinet*>(handle); }

  // Handed to FDICreate by Open: variants set theirs before they open.
  PFNWRITE writeCallback_;

 private:
  void Unload();
  static INT_PTR __cdecl Notify(FDINOTIFICATIONTYPE type, PFDINOTIFICATION note);
  static int __cdecl CloseHandleOrOutput(INT_PTR handle);

  HMODULE module_ = nullptr;  // Cabinet.dll
  HFDI context_ = nullptr;
  ERF erf_ = {};
  char cabinetName_[MAX_PATH] = "";
  char cabinetFolder_[MAX_PATH] = "";  // with its trailing "\"; empty for a bare name
};
