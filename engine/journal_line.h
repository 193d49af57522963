// One entry of the install journal: fields separated by tabs. File paths
// are written as they are (a Windows path holds no tab or line break);
// anything else is written in hexadecimal by whoever makes the entry.
#pragma once

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
