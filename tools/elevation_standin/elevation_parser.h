// The class behind the "Elevation" moniker prefix in a test prefix, where
// this platform has no elevation moniker of its own.
#pragma once

#include <windows.h>
#include <objbase.h>

#include "com_object.h"

// {7E8F9A0B-2C3D-4E5F-9A1B-2C3D4E5F6A7B}
extern const CLSID CLSID_ElevationStandIn;

// Where the stand-in reads its setting and records each request, under
// HKEY_CURRENT_USER: "Decline" (DWORD, non-zero answers every request as a
// user who declines the consent prompt); "LastName" (the display name
// parsed last).
extern const char kStandInSettingsKey[];

// Class object of the stand-in; one per process, registered by main. Its
// instances parse "Elevation:Administrator!new:{clsid}": they create that
// class as a local server, so COM starts the class's surrogate, and hand
// back a pointer moniker on the new object. A declined request fails with
// HRESULT_FROM_WIN32(ERROR_CANCELLED) and creates nothing. Releasing an
// instance ends the server's message loop: one request, one process, as
// with the system's own consent prompt.
class CElevationParserFactory
    : public CStaticComObject<ComInterface<IClassFactory, &IID_IClassFactory>> {
 public:
  STDMETHODIMP CreateInstance(IUnknown* outer, REFIID iid, void** object) override;
  STDMETHODIMP LockServer(BOOL lock) override;
};
