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
// descriptors, each over a duplicate of the one handle the object holds on
// the cabinet: FDI is given no path to open, so the file it reads is the
// file that was opened (and checked) before.
//
// An object is used by one thread (the job's worker) from its construction
// to its destruction, so nothing in it is guarded.
#pragma once

#include <windows.h>
#include <fdi.h>

#include "local_file.h"

class CCabinet {
 public:
  CCabinet();
  virtual ~CCabinet();  // FDIDestroy, then FreeLibrary
  CCabinet(const CCabinet&) = delete;
  CCabinet& operator=(const CCabinet&) = delete;

  // Loads Cabinet.dll and creates the FDI context (once per object), then
  // holds the cabinet: a duplicate of file when it is an open handle with
  // read access, else the file at path opened for reading (others may
  // read it, never write it). False when the library, the context or the
  // file cannot be had.
  bool Open(const char* path, HANDLE file = INVALID_HANDLE_VALUE);
  // Library, context and the cabinet are all there.
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
  CLocalFile cabinet_;
  // What FDI is told to open: the text form of cabinet_'s handle, which
  // the open callback turns into a descriptor over a duplicate of it.
  char cabinetName_[32] = "";
};
