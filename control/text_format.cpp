#include "text_format.h"

#include <cstdint>
#include <cstring>
#include <new>

namespace {

// Writes into buffer when it is given; always counts what it would write.
class CSink {
 public:
  explicit CSink(char* buffer) : buffer_(buffer) {}
  void Put(char c) {
    if (buffer_ != nullptr) buffer_[length_] = c;
    ++length_;
  }
  void Repeat(char c, size_t count) {
    for (size_t i = 0; i < count; ++i) Put(c);
  }
  size_t Length() const { return length_; }

 private:
  char* buffer_;
  size_t length_ = 0;
};

void PutPadded(CSink& sink, const char* text, size_t length, size_t width, char pad) {
  if (width > length) sink.Repeat(pad, width - length);
  for (size_t i = 0; i < length; ++i) sink.Put(text[i]);
}

void PutNumber(CSink& sink, uint64_t value, bool negative, unsigned base, bool upper,
               size_t width, char pad) {
  const char* digits = upper ? "0123456789ABCDEF" : "0123456789abcdef";
  char text[72];  // 64 binary digits and a sign fit
  size_t pos = sizeof(text);
  do {
    text[--pos] = digits[value % base];
    value /= base;
  } while (value != 0);
  if (negative && pad == '0') {
    // The sign goes before the zeros: "-0042", not "00-42".
    sink.Put('-');
    if (width > 0) --width;
  } else if (negative) {
    text[--pos] = '-';
  }
  PutPadded(sink, text + pos, sizeof(text) - pos, width, pad);
}

size_t Format(char* buffer, const char* format, va_list args) {
  CSink sink(buffer);
  for (const char* p = format; *p != '\0'; ++p) {
    if (*p != '%') {
      sink.Put(*p);
      continue;
    }
    ++p;
    char pad = ' ';
    if (*p == '0') pad = '0';
    size_t width = 0;
    while (*p >= '0' && *p <= '9') width = width * 10 + static_cast<size_t>(*p++ - '0');
    switch (*p) {
      case '\0':
        return sink.Length();
      case '%':
        sink.Put('%');
        break;
      case 's': {
        const char* text = va_arg(args, const char*);
        if (text == nullptr) text = "(NULL)";
        PutPadded(sink, text, std::strlen(text), width, pad);
        break;
      }
      case 'c': {
        char c = static_cast<char>(va_arg(args, int));
        PutPadded(sink, &c, 1, width, pad);
        break;
      }
      case 'd':
      case 'i': {
        int64_t value = va_arg(args, int);
        bool negative = value < 0;
        PutNumber(sink, static_cast<uint64_t>(negative ? -value : value), negative, 10, false,
                  width, pad);
        break;
      }
      case 'u':
        PutNumber(sink, va_arg(args, unsigned), false, 10, false, width, pad);
        break;
      case 'o':
        PutNumber(sink, va_arg(args, unsigned), false, 8, false, width, pad);
        break;
      case 'x':
      case 'X':
        PutNumber(sink, va_arg(args, unsigned), false, 16, *p == 'X', width, pad);
        break;
      case 'b':
        PutNumber(sink, va_arg(args, unsigned), false, 2, false, width, pad);
        break;
      default:
        break;  // unknown conversions print nothing and consume no argument
    }
  }
  return sink.Length();
}

}  // namespace

std::unique_ptr<char[]> FormatTextV(const char* format, va_list args) {
  if (format == nullptr) return nullptr;
  va_list measure;
  va_copy(measure, args);
  size_t length = Format(nullptr, format, measure);
  va_end(measure);
  std::unique_ptr<char[]> text(new (std::nothrow) char[length + 1]);
  if (!text) return nullptr;
  Format(text.get(), format, args);
  text[length] = '\0';
  return text;
}

std::unique_ptr<char[]> FormatText(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::unique_ptr<char[]> text = FormatTextV(format, args);
  va_end(args);
  return text;
}
