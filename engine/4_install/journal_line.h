// One entry of the install journal: fields separated by tabs. File paths
// are written as they are (a Windows path holds no tab or line break);
// anything else is written in hexadecimal by whoever makes the entry.
//
// On disk each entry is framed as "<checksum>\t<entry>\n", the checksum
// being the CRC-32 of the entry in eight upper-case hexadecimal digits, so
// that a line altered or garbled after it was written is told from one the
// engine wrote.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

inline std::string JoinJournalFields(std::initializer_list<std::string> fields) {
  std::string line;
  for (const std::string& field : fields) {
    if (!line.empty()) line += '\t';
    line += field;
  }
  return line;
}

inline std::vector<std::string> SplitJournalFields(const std::string& line) {
  std::vector<std::string> fields;
  size_t start = 0;
  for (;;) {
    const size_t tab = line.find('\t', start);
    fields.push_back(line.substr(start, tab == std::string::npos ? tab : tab - start));
    if (tab == std::string::npos) return fields;
    start = tab + 1;
  }
}

// CRC-32 (the polynomial of zip and Ethernet). Entries are short and few,
// so the bitwise form does.
inline uint32_t JournalChecksum(const std::string& entry) {
  uint32_t crc = 0xFFFFFFFFu;
  for (unsigned char byte : entry) {
    crc ^= byte;
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

// "<checksum>\t<entry>\n".
inline std::string FrameJournalLine(const std::string& entry) {
  static const char kDigits[] = "0123456789ABCDEF";
  const uint32_t crc = JournalChecksum(entry);
  std::string line(8, '0');
  for (int i = 0; i < 8; ++i) line[i] = kDigits[(crc >> (28 - 4 * i)) & 15];
  return line + '\t' + entry + '\n';
}

// The entry of one framed line given without its "\n"; false when the line
// is not framed or its checksum does not match.
inline bool UnframeJournalLine(const std::string& line, std::string& entry) {
  if (line.size() < 9 || line[8] != '\t') return false;
  entry = line.substr(9);
  return FrameJournalLine(entry).compare(0, 8, line, 0, 8) == 0;
}
