#include "host_object.h"

#include "output.h"

namespace {

enum { kEcho = 1, kFail = 2, kUrl = 3, kPlace = 4 };

}  // namespace

STDMETHODIMP CHostObject::GetTypeInfoCount(UINT* count) {
  if (count == nullptr) return E_POINTER;
  *count = 0;
  return S_OK;
}

STDMETHODIMP CHostObject::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
  if (count == 0 || names == nullptr || ids == nullptr) return E_INVALIDARG;
  static const struct {
    const wchar_t* name;
    DISPID id;
  } kMembers[] = {{L"echo", kEcho}, {L"fail", kFail}, {L"url", kUrl}, {L"place", kPlace}};
  for (UINT i = 1; i < count; ++i) ids[i] = DISPID_UNKNOWN;
  for (const auto& member : kMembers) {
    if (lstrcmpiW(names[0], member.name) == 0) {
      ids[0] = member.id;
      return count == 1 ? S_OK : DISP_E_UNKNOWNNAME;
    }
  }
  ids[0] = DISPID_UNKNOWN;
  return DISP_E_UNKNOWNNAME;
}

STDMETHODIMP CHostObject::Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params,
                                 VARIANT* result, EXCEPINFO*, UINT*) {
  if (result != nullptr) VariantInit(result);
  switch (id) {
    case kEcho:
      PrintLine(JoinArguments(params));
      return S_OK;
    case kFail:
      failed_ = true;
      PrintLine(L"FAIL: " + JoinArguments(params));
      return S_OK;
    case kUrl:
      if (result == nullptr) return S_OK;
      result->vt = VT_BSTR;
      result->bstrVal = SysAllocStringLen(url_.data(), static_cast<UINT>(url_.size()));
      return result->bstrVal != nullptr ? S_OK : E_OUTOFMEMORY;
    case kPlace: {
      if (params == nullptr || params->cArgs != 1 || params->rgvarg[0].vt != VT_DISPATCH ||
          params->rgvarg[0].pdispVal == nullptr)
        return DISP_E_TYPEMISMATCH;
      IOleObject* object = nullptr;
      bool placed = SUCCEEDED(params->rgvarg[0].pdispVal->QueryInterface(
                        IID_IOleObject, reinterpret_cast<void**>(&object))) &&
                    SUCCEEDED(object->SetClientSite(clientSite_));
      if (object != nullptr) object->Release();
      if (result != nullptr) {
        result->vt = VT_BOOL;
        result->boolVal = placed ? VARIANT_TRUE : VARIANT_FALSE;
      }
      return S_OK;
    }
    default:
      return DISP_E_MEMBERNOTFOUND;
  }
}

std::wstring CHostObject::JoinArguments(const DISPPARAMS* params) {
  std::wstring line;
  if (params == nullptr) return line;
  // Arguments arrive last first.
  for (UINT i = params->cArgs; i > 0; --i) {
    VARIANT text;
    VariantInit(&text);
    if (i != params->cArgs) line += L' ';
    if (params->rgvarg[i - 1].vt == VT_BOOL)  // as script prints it
      line += params->rgvarg[i - 1].boolVal ? L"true" : L"false";
    else if (SUCCEEDED(VariantChangeType(&text, &params->rgvarg[i - 1], VARIANT_ALPHABOOL, VT_BSTR)) &&
        text.bstrVal != nullptr)
      line.append(text.bstrVal, SysStringLen(text.bstrVal));
    else if (params->rgvarg[i - 1].vt == VT_NULL)
      line += L"null";
    else if (params->rgvarg[i - 1].vt == VT_DISPATCH)
      line += params->rgvarg[i - 1].pdispVal == nullptr ? L"null" : L"[object]";
    else
      line += L"undefined";
    VariantClear(&text);
  }
  return line;
}
