// ovhost: runs a page's script the way a browser page would, without a
// browser. The page's controls get a site that reports the page URL, a
// client site and an in-place site on a real window; the setup window's
// message boxes are answered as the command line says.
//
//   ovhost.exe [--answer=LIST] [--no-window] [--no-browser] [--no-document]
//              [--document-url=URL] PAGE-URL SCRIPT.js
//     --answer=LIST  buttons to press in a message box, first one the box
//                    has wins: ok, cancel, yes, no (default "ok"); "none"
//                    leaves boxes on screen
//     --no-window    the in-place site has no window to offer
//     --no-browser   the site offers no browser (SID_SWebBrowserApp), as in
//                    an HTML dialog or a program that hosts pages itself
//     --no-document  the site names no document holding the controls
//                    (no container, no SID_SContainerDispatch)
//     --document-url=URL  the document holding the controls has this URL
//                    while the browser reports PAGE-URL, as for a frame;
//                    by default both are PAGE-URL
//
// The page talks to its runner through the "host" object (host_object.h):
// host.echo prints a line, host.fail marks the run failed. Boxes and the
// setup window are printed as the watcher sees them (message_box_watcher.h),
// script errors as "ERROR: line N: ...".
//
// Exit status: 0 when the script ran to its end, 1 when it threw or called
// host.fail, 2 for a bad command line or a host that cannot start. Every
// non-zero status comes with a printed line, so that a runner can tell a
// program that never started from one that failed.
#include <windows.h>
#include <activscp.h>
#include <objsafe.h>
#include <shellapi.h>

#include <string>
#include <vector>

#include "message_box_watcher.h"
#include "output.h"
#include "script_site.h"

namespace {

// Wine and Windows both register JScript under this class.
const CLSID kJScript = {0xf414c260, 0x6ac0, 0x11cf, {0xb6, 0xd1, 0x00, 0xaa, 0x00, 0xbb, 0xbb, 0x58}};

struct CCommandLine {
  std::vector<int> buttons{IDOK};
  bool withWindow = true;
  bool withBrowser = true;
  bool withDocument = true;
  bool documentUrlGiven = false;
  std::wstring documentUrl;
  std::wstring url;
  std::wstring script;
};

bool ParseButtons(const std::wstring& list, std::vector<int>& buttons) {
  buttons.clear();
  size_t start = 0;
  while (start <= list.size()) {
    size_t end = list.find(L',', start);
    if (end == std::wstring::npos) end = list.size();
    std::wstring name = list.substr(start, end - start);
    if (name == L"ok") buttons.push_back(IDOK);
    else if (name == L"cancel") buttons.push_back(IDCANCEL);
    else if (name == L"yes") buttons.push_back(IDYES);
    else if (name == L"no") buttons.push_back(IDNO);
    else if (name != L"none") return false;
    start = end + 1;
  }
  return true;
}

bool ParseCommandLine(CCommandLine& line) {
  int count = 0;
  wchar_t** args = CommandLineToArgvW(GetCommandLineW(), &count);
  if (args == nullptr) return false;
  std::vector<std::wstring> positional;
  bool valid = true;
  for (int i = 1; i < count && valid; ++i) {
    std::wstring arg = args[i];
    if (arg.rfind(L"--answer=", 0) == 0)
      valid = ParseButtons(arg.substr(9), line.buttons);
    else if (arg == L"--no-window")
      line.withWindow = false;
    else if (arg == L"--no-browser")
      line.withBrowser = false;
    else if (arg == L"--no-document")
      line.withDocument = false;
    else if (arg.rfind(L"--document-url=", 0) == 0) {
      line.documentUrlGiven = true;
      line.documentUrl = arg.substr(15);
    } else
      positional.push_back(arg);
  }
  LocalFree(args);
  if (!valid || positional.size() != 2) return false;
  line.url = positional[0];
  line.script = positional[1];
  if (!line.documentUrlGiven) line.documentUrl = line.url;
  return true;
}

bool ReadScript(const std::wstring& path, std::wstring& text) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                            nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  std::string bytes;
  char buffer[4096];
  DWORD read = 0;
  while (ReadFile(file, buffer, sizeof(buffer), &read, nullptr) && read > 0) bytes.append(buffer, read);
  CloseHandle(file);
  if (bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) bytes.erase(0, 3);
  int length = MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
  text.assign(static_cast<size_t>(length), L'\0');
  if (length > 0)
    MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), &text[0], length);
  return true;
}

// The page's window: where in-place controls live.
HWND CreatePageWindow(const std::wstring& url) {
  WNDCLASSW windowClass = {};
  windowClass.lpfnWndProc = DefWindowProcW;
  windowClass.hInstance = GetModuleHandleW(nullptr);
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  windowClass.lpszClassName = L"OVHostPage";
  RegisterClassW(&windowClass);
  return CreateWindowExW(0, L"OVHostPage", url.c_str(), WS_OVERLAPPEDWINDOW, 0, 0, 640, 480, nullptr,
                         nullptr, windowClass.hInstance, nullptr);
}

// Runs the page's script on this thread; false when it could not be run.
bool RunScript(CScriptSite* site, const std::wstring& text) {
  IActiveScript* engine = nullptr;
  if (FAILED(CoCreateInstance(kJScript, nullptr, CLSCTX_INPROC_SERVER, IID_IActiveScript,
                              reinterpret_cast<void**>(&engine)))) {
    PrintLine(L"ovhost: JScript is not available");
    return false;
  }
  bool ran = false;
  IActiveScriptParse* parser = nullptr;
  IObjectSafety* safety = nullptr;
  // As in a browser: untrusted page data, and controls created through the
  // site's security manager (JScript creates none without it).
  const DWORD options = INTERFACESAFE_FOR_UNTRUSTED_DATA | INTERFACE_USES_DISPEX |
                        INTERFACE_USES_SECURITY_MANAGER;
  if (SUCCEEDED(engine->QueryInterface(IID_IActiveScriptParse, reinterpret_cast<void**>(&parser))) &&
      SUCCEEDED(engine->QueryInterface(IID_IObjectSafety, reinterpret_cast<void**>(&safety))) &&
      SUCCEEDED(safety->SetInterfaceSafetyOptions(IID_IActiveScriptParse, options, options)) &&
      SUCCEEDED(engine->SetScriptSite(site)) && SUCCEEDED(parser->InitNew()) &&
      SUCCEEDED(engine->AddNamedItem(L"host", SCRIPTITEM_ISVISIBLE)) &&
      SUCCEEDED(engine->SetScriptState(SCRIPTSTATE_STARTED))) {
    ran = true;
    EXCEPINFO exception = {};
    // Errors reach the site's OnScriptError; the result adds nothing.
    parser->ParseScriptText(text.c_str(), nullptr, nullptr, nullptr, 0, 0, SCRIPTTEXT_ISVISIBLE,
                            nullptr, &exception);
    SysFreeString(exception.bstrSource);
    SysFreeString(exception.bstrDescription);
    SysFreeString(exception.bstrHelpFile);
  } else {
    PrintLine(L"ovhost: the script engine refused this host");
  }
  engine->Close();
  if (safety != nullptr) safety->Release();
  if (parser != nullptr) parser->Release();
  engine->Release();
  return ran;
}

}  // namespace

int main() {
  InitOutput();
  CCommandLine line;
  if (!ParseCommandLine(line)) {
    PrintLine(L"usage: ovhost.exe [--answer=ok|cancel|yes|no|none,...] [--no-window] [--no-browser] "
              L"[--no-document] [--document-url=URL] PAGE-URL SCRIPT.js");
    return 2;
  }
  std::wstring text;
  if (!ReadScript(line.script, text)) {
    PrintLine(L"ovhost: cannot read " + line.script);
    return 2;
  }
  if (FAILED(OleInitialize(nullptr))) {
    PrintLine(L"ovhost: OLE could not be initialised");
    return 2;
  }
  int status = 2;
  {
    CMessageBoxWatcher watcher(line.buttons);
    HWND page = CreatePageWindow(line.url);
    if (watcher.Start() && page != nullptr) {
      CPageHosting hosting;
      hosting.url = line.url;
      hosting.documentUrl = line.documentUrl;
      hosting.window = line.withWindow ? page : nullptr;
      hosting.withBrowser = line.withBrowser;
      hosting.withDocument = line.withDocument;
      CScriptSite* site = new CScriptSite(hosting);
      if (RunScript(site, text)) status = site->Failed() ? 1 : 0;
      site->Release();
    } else {
      PrintLine(L"ovhost: the page window or the message box watcher could not be made");
    }
    if (page != nullptr) DestroyWindow(page);
  }
  OleUninitialize();
  return status;
}
