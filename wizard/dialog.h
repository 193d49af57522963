// CDialog: a modal dialog run from a template of the resource module on
// the calling thread. Derived classes bind their controls in
// DoDataExchange, handle messages in OnMessage and end the dialog with
// EndDialog. The platform's dialog manager does everything else.
#pragma once

#include <windows.h>

class CDialog {
 public:
  explicit CDialog(UINT templateId);
  virtual ~CDialog() = default;
  CDialog(const CDialog&) = delete;
  CDialog& operator=(const CDialog&) = delete;

  // Creates the dialog and runs its modal loop until EndDialog. Returns
  // EndDialog's value, or -1 when the dialog could not be created.
  INT_PTR DoModal();

  // Null until the dialog is initialised and after it is destroyed.
  HWND GetSafeHwnd() const { return hwnd_; }

 protected:
  // Binds the template's controls to their objects.
  virtual void DoDataExchange() {}
  // Runs DoDataExchange. TRUE lets the dialog manager focus the first
  // control.
  virtual BOOL OnInitDialog();
  // Enter and the IDOK command.
  virtual void OnOK();
  // Escape, the system close command and the IDCANCEL command.
  virtual void OnCancel();
  // A message the dialog handles itself: true, with the message's answer
  // in result. False hands it to the dialog manager.
  virtual bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);

  void EndDialog(INT_PTR result);

 private:
  static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

  UINT templateId_;
  HWND hwnd_ = nullptr;  // the dialog's own thread only
};
