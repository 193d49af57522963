#include "ansi_string.h"

#include <mbstring.h>

#include <new>

bool CAnsiString::Convert(BSTR text) {
  text_.reset();
  if (text == nullptr) return true;
  int wideLength = static_cast<int>(SysStringLen(text));
  int length = 0;
  if (wideLength > 0) {
    length = WideCharToMultiByte(CP_ACP, 0, text, wideLength, nullptr, 0, nullptr, nullptr);
    if (length <= 0) return false;
  }
  text_.reset(new (std::nothrow) char[static_cast<size_t>(length) + 1]);
  if (!text_) return false;
  if (length > 0 &&
      WideCharToMultiByte(CP_ACP, 0, text, wideLength, text_.get(), length, nullptr, nullptr) != length) {
    text_.reset();
    return false;
  }
  text_[length] = '\0';
  return true;
}

bool CAnsiString::ConvertNonNull(BSTR text) {
  if (text != nullptr) return Convert(text);
  text_.reset(new (std::nothrow) char[1]);
  if (!text_) return false;
  text_[0] = '\0';
  return true;
}

BSTR AnsiToBstr(const char* text) {
  int length = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
  if (length <= 0) return nullptr;
  BSTR result = SysAllocStringLen(nullptr, static_cast<UINT>(length - 1));
  if (result == nullptr) return nullptr;
  MultiByteToWideChar(CP_ACP, 0, text, -1, result, length);
  return result;
}

bool EqualsIgnoringCase(const char* a, const char* b) {
  return _mbsicmp(reinterpret_cast<const unsigned char*>(a),
                  reinterpret_cast<const unsigned char*>(b)) == 0;
}
