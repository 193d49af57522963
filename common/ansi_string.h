// Texts in the system's ANSI code page, the form in which both DLLs keep
// names and paths: CAnsiString, a private heap copy of a BSTR, in which the
// control passes texts to the module check and the engine; the conversion
// back; the comparison that ignores case.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <memory>

class CAnsiString {
 public:
  CAnsiString() = default;
  CAnsiString(const CAnsiString&) = delete;
  CAnsiString& operator=(const CAnsiString&) = delete;

  // Converts text. A null BSTR gives a null string; false when the
  // conversion fails or no memory can be had (the string is then null).
  bool Convert(BSTR text);
  // As Convert, but a null BSTR gives an empty string.
  bool ConvertNonNull(BSTR text);

  const char* Get() const { return text_.get(); }

 private:
  std::unique_ptr<char[]> text_;
};

// A new BSTR holding text converted from the ANSI code page; null when the
// conversion fails or no memory can be had.
BSTR AnsiToBstr(const char* text);

// True when a and b are alike but for letter case, double-byte characters
// compared whole.
bool EqualsIgnoringCase(const char* a, const char* b);
