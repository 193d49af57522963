// A DLL that exports DllRegisterServer only under its stdcall-decorated
// name, as a 32-bit compiler writes it when no .def file says otherwise:
// the installer looks the plain name up and does not find it.
#include <windows.h>

#ifdef _WIN64
// 64-bit Windows has no stdcall decoration; the name is given as is.
__declspec(dllexport) HRESULT WINAPI DllRegisterServer(void) __asm__("DllRegisterServer@0");
#else
__declspec(dllexport) HRESULT WINAPI DllRegisterServer(void);
#endif

HRESULT WINAPI DllRegisterServer(void) { return S_OK; }
