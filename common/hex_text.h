// Bytes as upper-case hexadecimal text and back: certificate thumbprints,
// and whatever the install journal writes that may hold any character.
#pragma once

#include <cstddef>
#include <string>

inline std::string ToHexText(const void* data, size_t size) {
  static const char kDigits[] = "0123456789ABCDEF";
  const unsigned char* bytes = static_cast<const unsigned char*>(data);
  std::string text;
  text.reserve(size * 2);
  for (size_t i = 0; i < size; ++i) {
    text += kDigits[bytes[i] >> 4];
    text += kDigits[bytes[i] & 15];
  }
  return text;
}

inline std::string ToHexText(const std::string& bytes) { return ToHexText(bytes.data(), bytes.size()); }

// Pairs of hexadecimal digits (either case) into bytes; a stray last digit
// is ignored.
inline std::string FromHexText(const std::string& hex) {
  const auto value = [](char c) {
    return c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10;
  };
  std::string bytes;
  for (size_t i = 0; i + 1 < hex.size(); i += 2)
    bytes += static_cast<char>(value(hex[i]) * 16 + value(hex[i + 1]));
  return bytes;
}
