#include "dialog.h"

#include "resource_module.h"

CDialog::CDialog(UINT templateId) : templateId_(templateId) {}

INT_PTR CDialog::DoModal() {
  return DialogBoxParamA(GetResourceModule(), MAKEINTRESOURCEA(templateId_), nullptr,
                         &DialogProc, reinterpret_cast<LPARAM>(this));
}

BOOL CDialog::OnInitDialog() {
  DoDataExchange();
  return TRUE;
}

void CDialog::OnOK() { EndDialog(IDOK); }

void CDialog::OnCancel() { EndDialog(IDCANCEL); }

bool CDialog::OnMessage(UINT, WPARAM, LPARAM, LRESULT&) { return false; }

void CDialog::EndDialog(INT_PTR result) { ::EndDialog(hwnd_, result); }

INT_PTR CALLBACK CDialog::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    CDialog* self = reinterpret_cast<CDialog*>(lParam);
    SetWindowLongPtrA(window, DWLP_USER, lParam);
    self->hwnd_ = window;
    return self->OnInitDialog();
  }
  // Messages that arrive before WM_INITDIALOG (WM_SETFONT and the like)
  // find no object yet and get the dialog manager's handling.
  CDialog* self = reinterpret_cast<CDialog*>(GetWindowLongPtrA(window, DWLP_USER));
  if (self == nullptr) return FALSE;
  if (message == WM_COMMAND && HIWORD(wParam) == BN_CLICKED) {
    if (LOWORD(wParam) == IDOK) {
      self->OnOK();
      return TRUE;
    }
    if (LOWORD(wParam) == IDCANCEL) {
      self->OnCancel();
      return TRUE;
    }
  }
  LRESULT result = 0;
  bool handled = self->OnMessage(message, wParam, lParam, result);
  if (message == WM_NCDESTROY) {
    SetWindowLongPtrA(window, DWLP_USER, 0);
    self->hwnd_ = nullptr;
  }
  if (!handled) return FALSE;
  SetWindowLongPtrA(window, DWLP_MSGRESULT, result);
  return TRUE;
}
