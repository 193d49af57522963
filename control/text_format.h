// The control's own small printf: sized by a measuring pass, written into a
// heap buffer of exactly that size, so no key path is ever cut or overrun.
#pragma once

#include <cstdarg>
#include <memory>

// Conversions: %s (a null string prints "(NULL)"), %c, %d and %i, %u, %o,
// %x and %X, %b (base 2) and %%, each with an optional decimal width after
// the "%" (zero-padded when the width begins with 0, space-padded
// otherwise). Any other conversion character prints nothing.
// Null when format is null or no memory can be had.
std::unique_ptr<char[]> FormatText(const char* format, ...);
std::unique_ptr<char[]> FormatTextV(const char* format, va_list args);
