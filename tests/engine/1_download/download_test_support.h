// What the download tests need of the package server: URLs that are unique
// to one test run (so its requests can be counted in the server's shared
// log), the generated bodies, and files under the package root.
#pragma once

#include <windows.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <string>

#include "cabinet_test_support.h"

// The epoch of the Last-Modified time the server sends by default.
const int32_t kServerLastModifiedEpoch = 1445412480;  // Wed, 21 Oct 2015 07:28:00 GMT

// The Windows path of a host path: Wine shows the host's root as drive Z:.
inline std::string WinePathOfHostPath(const char* hostPath) {
  std::string path = std::string("Z:") + (hostPath != nullptr ? hostPath : "");
  std::replace(path.begin(), path.end(), '/', '\\');
  return path;
}

// A path segment that no other test or run uses: "/tag/<it>/" makes the
// server ignore it.
inline std::string UniqueTag() {
  static int counter = 0;
  return "t" + std::to_string(GetCurrentProcessId()) + "x" + std::to_string(GetTickCount()) + "x" +
         std::to_string(++counter);
}

inline std::string ServerUrl(const std::string& path, const std::string& host = "cdn.ovelin.net") {
  return "http://" + host + "/" + path;
}

inline std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// Requests in the server's log whose URL holds text, in any letter case.
inline int CountRequests(const std::string& text) {
  const std::string log = Lower(ReadWholeFile(WinePathOfHostPath(std::getenv("OV_PKG_LOG"))));
  const std::string needle = Lower(text);
  int count = 0;
  for (size_t at = log.find(needle); at != std::string::npos; at = log.find(needle, at + 1)) ++count;
  return count;
}

// The body the server generates for /gen/<size>/: byte i is i % 251.
inline std::string GeneratedBody(size_t size) {
  std::string body(size, '\0');
  for (size_t i = 0; i < size; ++i) body[i] = static_cast<char>(i % 251);
  return body;
}

inline bool WriteWholeFile(const std::string& path, const std::string& data) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const bool ok = WriteFile(file, data.data(), static_cast<DWORD>(data.size()), &written, nullptr) &&
                  written == data.size();
  CloseHandle(file);
  return ok;
}
