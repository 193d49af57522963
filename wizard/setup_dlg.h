// CSetupDlg: the setup wizard window, on screen for exactly one install
// job. RunSetup runs it modally on the caller's thread; the window starts
// the job on a worker thread, turns the job's progress calls into its
// status line and bar, asks the cancel question when the player closes it,
// shows the failure message when the job fails, and closes when the job
// has ended. A window closed from outside while the job runs waits for the
// worker a bounded time, then lets it end on its own.
#pragma once

#include <windows.h>

#include <string>

#include "critical_section.h"
#include "dialog.h"
#include "gdi_owners.h"
#include "install_progress.h"
#include "result_code.h"
#include "skin_button.h"
#include "skin_progress.h"

// Posted by the window to itself at the end of its initialisation.
const UINT WM_INSTALL_START = WM_USER + 0x400;
// Posted by the worker once the job's result is stored.
const UINT WM_INSTALL_DONE = WM_USER + 0x401;

// One whole install job, run on the worker thread: (clsid, codebase,
// needVersion, listener, cancelEvent) → the job's result code. cancelEvent
// is set while the player's answer to the cancel question is Yes.
typedef ResultCode (*InstallJobProc)(const char* clsid, const char* codebase,
                                     const char* needVersion, IInstallProgress* listener,
                                     HANDLE cancelEvent);

class CSetupDlg : public CDialog, public IInstallProgress {
 public:
  explicit CSetupDlg(InstallJobProc job);
  ~CSetupDlg() override;

  // Runs the job with the window on screen and returns its result: 1001,
  // with nothing shown, for a null clsid or codebase; 5003 when the window
  // could not be shown; 5005 when the worker could not be started. A null
  // needVersion counts as "".
  ResultCode RunSetup(const char* clsid, const char* codebase, const char* needVersion);

  // The job's listener: every call comes from the worker thread.
  void OnInitSetup() override;
  void OnPrepareDownload() override;
  void OnStartDownload(int32_t total) override;
  void OnDownloadProgress(int32_t count) override;
  void OnDownloadComplete() override;
  void OnPrepareExtract() override;
  void OnStartExtract(int32_t fileCount, int32_t totalBytes) override;
  void OnExtractFile(const char* name) override;
  void OnExtractProgress(int32_t count) override;
  void OnExtractComplete() override;
  void OnRemoveOldVersion() override;
  void OnStartInstall(int32_t steps) override;
  void OnInstallFile(const char* name) override;
  void OnInstallFileDone() override;
  void OnWriteRegistry() override;
  // Waits while the cancel question is on screen.
  bool IsCancelled() override;
  void OnWaitForOtherInstall() override;

  // What the status line shows; any thread.
  std::string GetStatusText() const;
  const CSkinProgressCtrl& GetProgressBar() const { return progressBar_; }

 protected:
  // Starts the worker; null when it cannot be created. Virtual only so
  // that a test can refuse the thread: a failing CreateThread cannot be
  // provoked from outside.
  virtual HANDLE CreateWorker();

  void DoDataExchange() override;
  BOOL OnInitDialog() override;
  void OnOK() override;
  void OnCancel() override;
  bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

 private:
  // What the worker thread holds, shared with the window (setup_dlg.cpp).
  class CWorker;

  void OnInstallStart();
  void OnInstallDone();
  void OnDestroy();
  void OnRefreshTimer();
  void OnLButtonDown(LPARAM point);
  bool PaintWindow(HDC dc);
  void CenterWindow();

  void SetStatusText(const std::string& text);
  void ShowStatus(UINT id);
  void ShowStatusFormat(UINT id, int first, int second);
  int SetupMessageBox(const char* text, UINT flags);
  void ShowSetupError(ResultCode code, const char* reason);
  void ShowSetupErrorReason(ResultCode code, UINT reasonId);

  // Set up on the window's thread before the worker starts, then only
  // used by the worker's calls (the bar guards its own values).
  CSkinButton closeButton_;
  CSkinProgressCtrl progressBar_;
  InstallJobProc job_;
  // The window's thread only. worker_ is made by RunSetup and shared with
  // the worker thread, which may outlive the window and this object.
  CWorker* worker_ = nullptr;
  HANDLE workerThread_ = nullptr;
  // The worker only.
  int32_t extractionIndex_ = 0;
  int32_t extractionCount_ = 0;
  UINT statusFormatId_ = 0;  // the string that statusFormat_ was loaded from
  std::string statusFormat_;
  // The window's thread only: the job's result, taken from the worker once
  // it has posted WM_INSTALL_DONE or ended.
  ResultCode result_ = DLL_UNKNOWN;
  CBitmap background_;
  // Guards statusText_ and statusStale_: written by the worker, read by the
  // window's paint.
  mutable CCriticalSection statusLock_;
  std::string statusText_;
  bool statusStale_ = false;  // a new text waits for the next refresh
  // Set at initialisation, before the worker starts.
  DWORD windowThread_ = 0;
};
