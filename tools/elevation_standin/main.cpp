// elevation_standin.exe: the local server that answers the "Elevation"
// moniker prefix in a test prefix. COM starts it with -Embedding when a
// caller binds the prefix; it serves one request, then revokes its class
// and exits.
#include <windows.h>
#include <objbase.h>

#include "elevation_parser.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 1;
  static CElevationParserFactory factory;
  DWORD cookie = 0;
  HRESULT hr = CoRegisterClassObject(CLSID_ElevationStandIn, &factory, CLSCTX_LOCAL_SERVER,
                                     REGCLS_MULTIPLEUSE, &cookie);
  if (SUCCEEDED(hr)) {
    // Calls into this apartment arrive as window messages.
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) DispatchMessageW(&message);
    CoRevokeClassObject(cookie);
  }
  CoUninitialize();
  return SUCCEEDED(hr) ? 0 : 1;
}
