// Puts the setup window on screen in one scene and holds it there until
// told to go on, so that a screenshot can be taken from outside.
//
// usage: wizard_scenes.exe download|waiting|failure|cancel READYFILE GOFILE
// Writes "left top right bottom" of the window (and of the message box, if
// the scene has one) to READYFILE once the scene stands; ends the scene
// when GOFILE exists. Exit code 0 when the scene ran as intended.
#include <windows.h>

#include <cstdio>
#include <cstring>

#include "setup_dlg.h"
#include "ui_driver.h"

namespace {

const char* gReadyFile;
const char* gGoFile;
HANDLE gJobMayEnd;
HANDLE gJobHeld;

void WaitForFile(const char* path) {
  while (GetFileAttributesA(path) == INVALID_FILE_ATTRIBUTES) Sleep(50);
}

// Once the windows have handled everything sent to them and painted.
void WriteReady(HWND wizard, HWND box) {
  for (HWND window : {wizard, box})
    if (window != nullptr) WaitUntilHandled(window);
  FILE* out = fopen(gReadyFile, "w");
  for (HWND window : {wizard, box}) {
    if (window == nullptr) continue;
    RECT frame;
    GetWindowRect(window, &frame);
    fprintf(out, "%ld %ld %ld %ld\n", frame.left, frame.top, frame.right, frame.bottom);
  }
  fclose(out);
}

// A download of 5 MiB held at 40 %.
ResultCode HeldDownload(const char*, const char*, const char*, IInstallProgress* l, HANDLE) {
  l->OnInitSetup();
  l->OnPrepareDownload();
  l->OnStartDownload(5 * 1024 * 1024);
  for (int i = 0; i < 256; ++i) l->OnDownloadProgress(8192);
  SetEvent(gJobHeld);
  WaitForSingleObject(gJobMayEnd, INFINITE);
  return l->IsCancelled() ? DLL_USERCANCEL : SUCCESS;
}

// Another job holds the machine's job lock.
ResultCode HeldByAnotherJob(const char*, const char*, const char*, IInstallProgress* l, HANDLE) {
  l->OnWaitForOtherInstall();
  SetEvent(gJobHeld);
  WaitForSingleObject(gJobMayEnd, INFINITE);
  return SUCCESS;
}

ResultCode UnreachablePackage(const char*, const char*, const char*, IInstallProgress* l, HANDLE) {
  l->OnInitSetup();
  l->OnPrepareDownload();
  return DLL_CANT_OPENURL;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) return 2;
  const char* scene = argv[1];
  gReadyFile = argv[2];
  gGoFile = argv[3];
  gJobMayEnd = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  gJobHeld = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  bool failure = strcmp(scene, "failure") == 0;
  bool cancel = strcmp(scene, "cancel") == 0;

  bool shown = true;  // the window showed the held download before the screenshot
  CDriverThread driver([&] {
    HWND wizard = WaitFor(&FindSetupWindow, 10000);
    if (failure) {
      HWND box = WaitFor(&FindSetupMessageBox, 10000);
      WriteReady(wizard, box);
      WaitForFile(gGoFile);
      AnswerBox(box, IDOK);
      return;
    }
    WaitForSingleObject(gJobHeld, INFINITE);
    shown = WaitForRefresh(wizard);
    HWND box = nullptr;
    if (cancel) {
      BringToFront(wizard);
      TypeKey(VK_ESCAPE);
      box = WaitFor(&FindSetupMessageBox, 10000);
    }
    WriteReady(wizard, box);
    WaitForFile(gGoFile);
    if (box != nullptr) AnswerBox(box, IDNO);
    SetEvent(gJobMayEnd);
  });
  CSetupDlg dialog(failure                           ? &UnreachablePackage
                   : strcmp(scene, "waiting") == 0 ? &HeldByAnotherJob
                                                   : &HeldDownload);
  ResultCode result = dialog.RunSetup("{x}", "http://cdn.ovelin.net/a.cab", "1.0.0.0");
  driver.Join();
  return result == (failure ? DLL_CANT_OPENURL : SUCCESS) && shown ? 0 : 1;
}
