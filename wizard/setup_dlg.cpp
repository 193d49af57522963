#include "setup_dlg.h"

#include <commctrl.h>
#include <objbase.h>

#include <cstdio>

#include "bitmap_region.h"
#include "failure_reason.h"
#include "gdi_owners.h"
#include "handle_owner.h"
#include "resource.h"
#include "resource_module.h"
#include "this_module.h"

namespace {

const int kWindowWidth = 300;
const int kWindowHeight = 144;
const COLORREF kTransparent = RGB(255, 0, 255);
const int kCloseButtonX = 280, kCloseButtonY = 5, kCloseButtonStates = 4;
const RECT kProgressRect = {43, 74, 43 + 211, 74 + 12};
const RECT kStatusRect = {43, 95, 254, 111};
// Presses in the rows above this drag the captionless window.
const int kDragRows = 19;
// How long a window closed from outside waits for the cancelled job to end
// before it lets the worker end alone.
const DWORD kWorkerWaitMs = 5000;
const UINT_PTR kRefreshTimer = 1;

}  // namespace

// One job's worker thread and all it uses: the job's arguments, its cancel
// state and its result, and the way back to the window, which the window
// cuts when it stops waiting for the thread. The window and the thread each
// hold a reference; whichever lets go last deletes it. The thread also
// holds this module, so that a host that unloads the engine once the
// window has returned cannot pull the code from under it.
class CSetupDlg::CWorker final : public IInstallProgress {
 public:
  CWorker(CSetupDlg* dialog, InstallJobProc job, const char* clsid, const char* codebase,
          const char* needVersion)
      : dialog_(dialog), job_(job), clsid_(clsid), codebase_(codebase),
        needVersion_(needVersion != nullptr ? needVersion : "") {}
  CWorker(const CWorker&) = delete;
  CWorker& operator=(const CWorker&) = delete;

  void Release() {
    if (InterlockedDecrement(&references_) == 0) delete this;
  }

  // Starts the thread; null when it cannot be made.
  HANDLE Start() {
    module_ = ReferenceThisModule();
    InterlockedIncrement(&references_);
    HANDLE thread = CreateThread(nullptr, 0, &ThreadProc, this, 0, nullptr);
    if (thread != nullptr) return thread;
    if (module_ != nullptr) FreeLibrary(module_);
    Release();
    return nullptr;
  }

  // No call reaches the window from now on; one under way has ended when
  // this returns. None of them waits for the window's thread.
  void Detach() {
    CCriticalSectionLock hold(windowLock_);
    dialog_ = nullptr;
  }

  // The player's answer, or the window's own when it closes.
  void SetCancelled(bool cancelled) {
    CCriticalSectionLock hold(cancelLock_);
    cancelled_ = cancelled;
    if (!cancelEvent_) return;
    if (cancelled)
      SetEvent(cancelEvent_.Get());
    else
      ResetEvent(cancelEvent_.Get());
  }
  // Held by the window while the cancel question is on screen.
  CCriticalSection& CancelLock() { return cancelLock_; }

  // Valid once the thread has posted WM_INSTALL_DONE or ended.
  ResultCode Result() const { return result_; }

  void OnInitSetup() override { Forward(&IInstallProgress::OnInitSetup); }
  void OnPrepareDownload() override { Forward(&IInstallProgress::OnPrepareDownload); }
  void OnStartDownload(int32_t total) override { Forward(&IInstallProgress::OnStartDownload, total); }
  void OnDownloadProgress(int32_t count) override {
    Forward(&IInstallProgress::OnDownloadProgress, count);
  }
  void OnDownloadComplete() override { Forward(&IInstallProgress::OnDownloadComplete); }
  void OnPrepareExtract() override { Forward(&IInstallProgress::OnPrepareExtract); }
  void OnStartExtract(int32_t files, int32_t bytes) override {
    Forward(&IInstallProgress::OnStartExtract, files, bytes);
  }
  void OnExtractFile(const char* name) override { Forward(&IInstallProgress::OnExtractFile, name); }
  void OnExtractProgress(int32_t count) override {
    Forward(&IInstallProgress::OnExtractProgress, count);
  }
  void OnExtractComplete() override { Forward(&IInstallProgress::OnExtractComplete); }
  void OnRemoveOldVersion() override { Forward(&IInstallProgress::OnRemoveOldVersion); }
  void OnStartInstall(int32_t steps) override { Forward(&IInstallProgress::OnStartInstall, steps); }
  void OnInstallFile(const char* name) override { Forward(&IInstallProgress::OnInstallFile, name); }
  void OnInstallFileDone() override { Forward(&IInstallProgress::OnInstallFileDone); }
  void OnWriteRegistry() override { Forward(&IInstallProgress::OnWriteRegistry); }
  void OnWaitForOtherInstall() override { Forward(&IInstallProgress::OnWaitForOtherInstall); }
  bool IsCancelled() override {
    CCriticalSectionLock hold(cancelLock_);
    return cancelled_;
  }

 private:
  static DWORD WINAPI ThreadProc(LPVOID param) {
    CWorker* worker = static_cast<CWorker*>(param);
    const HMODULE module = worker->module_;
    // The job enters its own COM apartment for as long as it needs one.
    worker->result_ = worker->job_(worker->clsid_.c_str(), worker->codebase_.c_str(),
                                   worker->needVersion_.c_str(), worker, worker->cancelEvent_.Get());
    {
      CCriticalSectionLock hold(worker->windowLock_);
      if (worker->dialog_ != nullptr)
        PostMessageA(worker->dialog_->GetSafeHwnd(), WM_INSTALL_DONE, 0, 0);
    }
    worker->Release();
    if (module != nullptr) FreeLibraryAndExitThread(module, 0);
    return 0;
  }

  // A progress call passed on to the window while it is there. The
  // window's handlers only store what they are told and leave the
  // painting to the window's timer, so none waits for the window's thread.
  template <typename... Params, typename... Args>
  void Forward(void (IInstallProgress::*call)(Params...), Args... args) {
    CCriticalSectionLock hold(windowLock_);
    if (dialog_ != nullptr) (dialog_->*call)(args...);
  }

  LONG references_ = 1;  // changed by Interlocked calls only
  CCriticalSection windowLock_;  // guards dialog_
  CSetupDlg* dialog_;
  // Set before the thread starts; read-only afterwards.
  InstallJobProc job_;
  std::string clsid_;
  std::string codebase_;
  std::string needVersion_;
  HMODULE module_ = nullptr;  // the thread's reference, dropped as it ends
  // Written by the thread before it posts WM_INSTALL_DONE or ends.
  ResultCode result_ = DLL_UNKNOWN;
  // Guards cancelled_, and is held while the cancel question is shown.
  CCriticalSection cancelLock_;
  bool cancelled_ = false;
  // Manual reset, set and reset with cancelled_ under cancelLock_. The
  // job waits on it where a poll would have to wait for the network.
  CKernelHandle cancelEvent_{CreateEventA(nullptr, TRUE, FALSE, nullptr)};
};

CSetupDlg::CSetupDlg(InstallJobProc job) : CDialog(IDD_SETUP), job_(job) {}

CSetupDlg::~CSetupDlg() {
  if (workerThread_ != nullptr) CloseHandle(workerThread_);
}

ResultCode CSetupDlg::RunSetup(const char* clsid, const char* codebase, const char* needVersion) {
  if (clsid == nullptr || codebase == nullptr) return COMMON_INVALID_PARAM;
  worker_ = new CWorker(this, job_, clsid, codebase, needVersion);
  result_ = DLL_UNKNOWN;
  INITCOMMONCONTROLSEX classes = {};
  classes.dwSize = sizeof(classes);
  classes.dwICC = ICC_PROGRESS_CLASS;
  InitCommonControlsEx(&classes);
  DoModal();
  worker_->Detach();
  worker_->Release();
  worker_ = nullptr;
  return result_;
}

// ---- The window ----

void CSetupDlg::DoDataExchange() {
  closeButton_.SubclassDlgItem(IDCANCEL, GetSafeHwnd());
  progressBar_.SubclassDlgItem(IDC_SETUP_PROGRESS, GetSafeHwnd());
}

BOOL CSetupDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  HWND window = GetSafeHwnd();
  windowThread_ = GetCurrentThreadId();
  // Status lines set by the worker reach the screen with the bar's pace.
  SetTimer(window, kRefreshTimer, kRefreshMs, nullptr);

  SetWindowPos(window, nullptr, 0, 0, kWindowWidth, kWindowHeight, SWP_NOMOVE | SWP_NOZORDER);
  CenterWindow();

  background_.Reset(LoadBitmapA(GetResourceModule(), MAKEINTRESOURCEA(IDB_BACKGROUND)));
  if (background_.Get() != nullptr)
    CBitmapRegion::ApplyFromBitmap(background_.Get(), window, kTransparent);

  closeButton_.SetStripImageAt(kCloseButtonX, kCloseButtonY, IDB_CLOSE_BUTTON, kCloseButtonStates);
  progressBar_.SetImageResource(IDB_PROGRESS_BAR, true);
  MoveWindow(progressBar_.GetSafeHwnd(), kProgressRect.left, kProgressRect.top,
             kProgressRect.right - kProgressRect.left, kProgressRect.bottom - kProgressRect.top,
             TRUE);

  // The window has no caption; the title is what the taskbar shows.
  std::string title = LoadResourceString(IDS_WIZARD_TITLE);
  if (!title.empty()) SetWindowTextA(window, title.c_str());

  PostMessageA(window, WM_INSTALL_START, 0, 0);
  return TRUE;
}

void CSetupDlg::CenterWindow() {
  HWND window = GetSafeHwnd();
  RECT frame;
  GetWindowRect(window, &frame);
  MONITORINFO monitor = {};
  monitor.cbSize = sizeof(monitor);
  GetMonitorInfoA(MonitorFromWindow(window, MONITOR_DEFAULTTOPRIMARY), &monitor);
  const RECT& area = monitor.rcWork;
  int width = frame.right - frame.left, height = frame.bottom - frame.top;
  SetWindowPos(window, nullptr, area.left + (area.right - area.left - width) / 2,
               area.top + (area.bottom - area.top - height) / 2, 0, 0,
               SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// Enter never closes the window.
void CSetupDlg::OnOK() {}

void CSetupDlg::OnCancel() {
  // The lock stays held while the question is open, so the job waits at
  // its next cancel test for the answer.
  CCriticalSectionLock hold(worker_->CancelLock());
  std::string question = LoadResourceString(IDS_CANCEL_QUESTION);
  int answer = SetupMessageBox(question.c_str(), MB_YESNO | MB_ICONQUESTION);
  // Every answer counts: a No withdraws a Yes that the job has not seen.
  worker_->SetCancelled(answer == IDYES);
}

bool CSetupDlg::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
  switch (message) {
    case WM_INSTALL_START:
      OnInstallStart();
      return false;
    case WM_INSTALL_DONE:
      result_ = worker_->Result();
      OnInstallDone();
      result = 0;
      return true;
    case WM_PAINT: {
      PAINTSTRUCT paint;
      HDC dc = BeginPaint(GetSafeHwnd(), &paint);
      PaintWindow(dc);
      EndPaint(GetSafeHwnd(), &paint);
      result = 0;
      return true;
    }
    case WM_ERASEBKGND:
      result = PaintWindow(reinterpret_cast<HDC>(wParam));
      return true;
    case WM_LBUTTONDOWN:
      OnLButtonDown(lParam);
      return false;
    case WM_TIMER:
      if (wParam != kRefreshTimer) return false;
      OnRefreshTimer();
      result = 0;
      return true;
    case WM_DESTROY:
      OnDestroy();
      return false;
    default:
      return false;
  }
}

HANDLE CSetupDlg::CreateWorker() { return worker_->Start(); }

void CSetupDlg::OnInstallStart() {
  workerThread_ = CreateWorker();
  if (workerThread_ != nullptr) return;
  result_ = DLL_CANT_CREATETHREAD;
  OnInstallDone();
}

void CSetupDlg::OnInstallDone() {
  ResultCode code = result_;
  if (code != SUCCESS && code != DLL_USERCANCEL) {
    int reasonId = GetFailureReasonId(code);
    if (reasonId != 0)
      ShowSetupErrorReason(code, reasonId);
    else
      ShowSetupError(code, nullptr);
  }
  // The base's cancel: the player's OnCancel only asks.
  CDialog::OnCancel();
}

void CSetupDlg::OnRefreshTimer() {
  bool stale;
  {
    CCriticalSectionLock hold(statusLock_);
    stale = statusStale_;
    statusStale_ = false;
  }
  if (stale) InvalidateRect(GetSafeHwnd(), &kStatusRect, FALSE);
}

void CSetupDlg::OnDestroy() {
  KillTimer(GetSafeHwnd(), kRefreshTimer);
  if (workerThread_ == nullptr) return;
  // After WM_INSTALL_DONE the worker is only ending. A window destroyed
  // from outside (the host's thread quitting) gets here with the job still
  // running. It is told as if the player had answered Yes, in whatever
  // stage it is: a wait for another job or a download ends at once, and
  // the install stage finishes or undoes its step at its next poll.
  worker_->SetCancelled(true);
  if (WaitForSingleObject(workerThread_, kWorkerWaitMs) == WAIT_OBJECT_0) {
    result_ = worker_->Result();
  } else {
    // A step that never returns (a server's registration) holds the worker
    // and, with it, the jobs' lock. The host gets its thread back; the
    // worker ends alone, hears nothing more of the window, and the next
    // job waits for the lock. The job was cancelled; it never said so.
    worker_->Detach();
    result_ = DLL_USERCANCEL;
  }
  CloseHandle(workerThread_);
  workerThread_ = nullptr;
}

void CSetupDlg::OnLButtonDown(LPARAM point) {
  // The system moves a window whose caption is grabbed; this one has its
  // caption painted in the background's top rows.
  if (static_cast<short>(HIWORD(point)) < kDragRows)
    PostMessageA(GetSafeHwnd(), WM_NCLBUTTONDOWN, HTCAPTION, point);
}

bool CSetupDlg::PaintWindow(HDC dc) {
  if (dc == nullptr || background_.Get() == nullptr) return false;
  HWND window = GetSafeHwnd();
  RECT client;
  GetClientRect(window, &client);
  CDoubleBuffer buffer(dc, client.right, client.bottom);
  CMemoryDC source(dc, background_.Get());
  if (!buffer.Ok() || source.Get() == nullptr) return false;
  HDC memory = buffer.Dc();
  BitBlt(memory, 0, 0, client.right, client.bottom, source.Get(), 0, 0, SRCCOPY);
  std::string text = GetStatusText();
  if (!text.empty()) {
    HGDIOBJ previousFont =
        SelectObject(memory, reinterpret_cast<HFONT>(SendMessageA(window, WM_GETFONT, 0, 0)));
    SetBkMode(memory, TRANSPARENT);
    RECT line = kStatusRect;
    DrawTextA(memory, text.c_str(), static_cast<int>(text.size()), &line, DT_CENTER);
    SelectObject(memory, previousFont);
  }
  buffer.CopyTo(dc);
  return true;
}

// ---- Status line and message boxes ----

std::string CSetupDlg::GetStatusText() const {
  CCriticalSectionLock hold(statusLock_);
  return statusText_;
}

void CSetupDlg::SetStatusText(const std::string& text) {
  HWND window = GetSafeHwnd();
  bool now = window != nullptr && GetCurrentThreadId() == windowThread_;
  {
    CCriticalSectionLock hold(statusLock_);
    statusText_ = text;
    statusStale_ = !now;
  }
  // The worker leaves the repaint to the window's refresh timer: it never
  // waits on the window for each of a download's thousands of lines.
  if (now) InvalidateRect(window, &kStatusRect, FALSE);
}

void CSetupDlg::ShowStatus(UINT id) {
  std::string text = LoadResourceString(id);
  if (!text.empty()) SetStatusText(text);
}

void CSetupDlg::ShowStatusFormat(UINT id, int first, int second) {
  // A download reports thousands of lines in one format: it is looked up
  // once, not for every line.
  if (id != statusFormatId_) {
    statusFormat_ = LoadResourceString(id);
    statusFormatId_ = id;
  }
  if (statusFormat_.empty()) return;
  char text[1024];
  snprintf(text, sizeof(text), statusFormat_.c_str(), first, second);
  SetStatusText(text);
}

int CSetupDlg::SetupMessageBox(const char* text, UINT flags) {
  std::string title = LoadResourceString(IDS_WIZARD_TITLE);
  if (text == nullptr || title.empty()) return IDOK;
  // The box has no owner; the wizard is disabled meanwhile so that its
  // close button cannot stack a second box over this one.
  HWND window = GetSafeHwnd();
  BOOL wasDisabled = window != nullptr && EnableWindow(window, FALSE);
  int answer = MessageBoxA(nullptr, text, title.c_str(), flags);
  if (window != nullptr && !wasDisabled) EnableWindow(window, TRUE);
  return answer;
}

void CSetupDlg::ShowSetupErrorReason(ResultCode code, UINT reasonId) {
  std::string reason = LoadResourceString(reasonId);
  if (!reason.empty()) ShowSetupError(code, reason.c_str());
}

void CSetupDlg::ShowSetupError(ResultCode code, const char* reason) {
  std::string text = LoadResourceString(IDS_SETUP_FAILED);
  if (text.empty()) return;
  char name[260];
  FormatResultCode(code, name, sizeof(name));
  char codeLine[260];
  snprintf(codeLine, sizeof(codeLine), "\r\n(ErrorCode : %s)", name);
  text += codeLine;
  std::string label = LoadResourceString(IDS_REASON_LABEL);
  if (reason != nullptr && *reason != '\0' && !label.empty()) text += "\r\n\r\n" + label + reason;
  SetupMessageBox(text.c_str(), MB_OK | MB_ICONERROR);
}

// ---- The job's listener ----

void CSetupDlg::OnInitSetup() { ShowStatus(IDS_INIT_SETUP); }

void CSetupDlg::OnPrepareDownload() {
  ShowStatus(IDS_PREPARE_DOWNLOAD);
}

void CSetupDlg::OnStartDownload(int32_t total) {
  ShowStatus(IDS_START_DOWNLOAD);
  progressBar_.SetRange64(total);
}

void CSetupDlg::OnDownloadProgress(int32_t count) {
  progressBar_.OffsetPos64(count);
  ShowStatusFormat(IDS_DOWNLOADING, static_cast<int>(progressBar_.GetPos64() / 1024),
                   static_cast<int>(progressBar_.GetRange64() / 1024));
}

void CSetupDlg::OnDownloadComplete() {
  ShowStatus(IDS_DOWNLOAD_COMPLETE);
  progressBar_.Fill();
}

void CSetupDlg::OnPrepareExtract() {
  ShowStatus(IDS_PREPARE_EXTRACT);
  progressBar_.SetPos64(0);
}

void CSetupDlg::OnStartExtract(int32_t fileCount, int32_t totalBytes) {
  extractionCount_ = fileCount;
  extractionIndex_ = 0;
  progressBar_.SetRange64(totalBytes);
}

void CSetupDlg::OnExtractFile(const char*) {
  ++extractionIndex_;
  ShowStatusFormat(IDS_EXTRACTING, extractionIndex_, extractionCount_);
}

void CSetupDlg::OnExtractProgress(int32_t count) { progressBar_.OffsetPos64(count); }

void CSetupDlg::OnExtractComplete() {
  ShowStatus(IDS_EXTRACT_COMPLETE);
  progressBar_.Fill();
}

void CSetupDlg::OnRemoveOldVersion() { ShowStatus(IDS_REMOVE_OLD_VERSION); }

void CSetupDlg::OnStartInstall(int32_t steps) {
  progressBar_.SetPos64(0);
  progressBar_.SetRange64(steps);
  ShowStatus(IDS_START_INSTALL);
}

void CSetupDlg::OnInstallFile(const char*) {
  ShowStatusFormat(IDS_INSTALLING, static_cast<int32_t>(progressBar_.GetPos64() + 1),
                   static_cast<int32_t>(progressBar_.GetRange64()));
}

void CSetupDlg::OnInstallFileDone() { progressBar_.OffsetPos64(1); }

void CSetupDlg::OnWriteRegistry() { ShowStatus(IDS_WRITE_REGISTRY); }

void CSetupDlg::OnWaitForOtherInstall() { ShowStatus(IDS_WAIT_OTHER_INSTALL); }

bool CSetupDlg::IsCancelled() { return worker_ != nullptr && worker_->IsCancelled(); }
