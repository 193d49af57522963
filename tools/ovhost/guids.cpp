// Interface and policy IDs that MinGW's import libraries lack: defined here
// from the SDK headers' own declarations.
#include <windows.h>
#include <initguid.h>
#include <activscp.h>

// {10200490-FA38-11D0-AC0E-00A0C90FFFC0}: the confirm-object-safety policy.
DEFINE_GUID(GUID_CUSTOM_CONFIRMOBJECTSAFETY, 0x10200490, 0xfa38, 0x11d0, 0xac, 0x0e, 0x00, 0xa0, 0xc9,
            0x0f, 0xff, 0xc0);
