#include "registrar.h"

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "registry_key.h"

namespace {

enum EntryFlags { kNoRemove = 1, kForceRemove = 2 };

struct CEntry {
  bool isValue = false;
  int flags = 0;
  std::string name;
  bool hasData = false;
  bool isNumber = false;
  std::string text;
  DWORD number = 0;
  std::vector<CEntry> children;
};

struct CRoot {
  HKEY key;
  std::vector<CEntry> entries;
};

class CParser {
 public:
  explicit CParser(const std::string& text) : text_(text) {}

  bool ParseScript(std::vector<CRoot>& roots) {
    std::string name;
    while (NextToken(name)) {
      CRoot root;
      root.key = RootKey(name);
      if (root.key == nullptr || !Expect("{") || !ParseEntries(root.entries)) return false;
      roots.push_back(std::move(root));
    }
    return true;
  }

 private:
  static HKEY RootKey(const std::string& name) {
    if (name == "HKCR" || name == "HKEY_CLASSES_ROOT") return HKEY_CLASSES_ROOT;
    if (name == "HKLM" || name == "HKEY_LOCAL_MACHINE") return HKEY_LOCAL_MACHINE;
    if (name == "HKCU" || name == "HKEY_CURRENT_USER") return HKEY_CURRENT_USER;
    return nullptr;
  }

  // Entries up to and including the closing brace.
  bool ParseEntries(std::vector<CEntry>& entries) {
    std::string token;
    for (;;) {
      if (!NextToken(token)) return false;
      if (token == "}" && !quoted_) return true;
      CEntry entry;
      while (!quoted_ && (token == "NoRemove" || token == "ForceRemove")) {
        entry.flags |= token == "NoRemove" ? kNoRemove : kForceRemove;
        if (!NextToken(token)) return false;
      }
      if (!quoted_ && token == "val") {
        entry.isValue = true;
        if (!NextToken(entry.name) || !Expect("=") || !ParseData(entry)) return false;
        entries.push_back(std::move(entry));
        continue;
      }
      entry.name = token;
      if (PeekIs("=")) {
        Expect("=");
        if (!ParseData(entry)) return false;
      }
      if (PeekIs("{")) {
        Expect("{");
        if (!ParseEntries(entry.children)) return false;
      }
      entries.push_back(std::move(entry));
    }
  }

  bool ParseData(CEntry& entry) {
    std::string type, data;
    if (!NextToken(type) || !NextToken(data)) return false;
    entry.hasData = true;
    if (type == "s") {
      entry.text = data;
      return true;
    }
    if (type == "d") {
      char* end = nullptr;
      entry.isNumber = true;
      entry.number = static_cast<DWORD>(std::strtoul(data.c_str(), &end, 0));
      return !data.empty() && *end == '\0';
    }
    return false;
  }

  bool Expect(const char* expected) {
    std::string token;
    return NextToken(token) && !quoted_ && token == expected;
  }

  bool PeekIs(const char* expected) {
    size_t saved = position_;
    std::string token;
    bool is = NextToken(token) && !quoted_ && token == expected;
    position_ = saved;
    return is;
  }

  // A quoted text, or a run of characters up to white space.
  bool NextToken(std::string& token) {
    token.clear();
    while (position_ < text_.size() && std::isspace(static_cast<unsigned char>(text_[position_])))
      ++position_;
    if (position_ >= text_.size()) return false;
    quoted_ = text_[position_] == '\'';
    if (!quoted_) {
      while (position_ < text_.size() && !std::isspace(static_cast<unsigned char>(text_[position_])))
        token += text_[position_++];
      return true;
    }
    for (++position_; position_ < text_.size(); ++position_) {
      if (text_[position_] != '\'') {
        token += text_[position_];
      } else if (position_ + 1 < text_.size() && text_[position_ + 1] == '\'') {
        token += '\'';
        ++position_;
      } else {
        ++position_;
        return true;
      }
    }
    return false;  // unterminated quote
  }

  const std::string& text_;
  size_t position_ = 0;
  bool quoted_ = false;
};

// A text is stored with its terminating zero, as the registry's own tools
// store it.
HRESULT SetData(CRegistryKey& key, const CEntry& entry, const char* valueName) {
  const LONG error = entry.isNumber ? key.SetDWORD(valueName, entry.number)
                                    : key.SetValue(valueName, REG_SZ, entry.text.c_str(),
                                                   static_cast<DWORD>(entry.text.size() + 1));
  return HRESULT_FROM_WIN32(error);
}

HRESULT Register(CRegistryKey& parent, const std::vector<CEntry>& entries) {
  for (const CEntry& entry : entries) {
    if (entry.isValue) {
      HRESULT hr = SetData(parent, entry, entry.name.c_str());
      if (FAILED(hr)) return hr;
      continue;
    }
    if (entry.flags & kForceRemove) parent.DeleteSubTree(entry.name.c_str());
    CRegistryKey key;
    LONG error = parent.OpenSubKey(entry.name.c_str(), key, OpenOrCreate);
    if (error != ERROR_SUCCESS) return HRESULT_FROM_WIN32(error);
    if (entry.hasData) {
      HRESULT hr = SetData(key, entry, "");
      if (FAILED(hr)) return hr;
    }
    HRESULT hr = Register(key, entry.children);
    if (FAILED(hr)) return hr;
  }
  return S_OK;
}

void Unregister(CRegistryKey& parent, const std::vector<CEntry>& entries) {
  for (const CEntry& entry : entries) {
    if (entry.isValue) {
      parent.DeleteValue(entry.name.c_str());
      continue;
    }
    bool empty;
    {
      CRegistryKey key;
      if (parent.OpenSubKey(entry.name.c_str(), key, OpenExisting) != ERROR_SUCCESS) continue;
      Unregister(key, entry.children);
      RegistryKeyInfo info;
      empty = key.QueryInfo(info) && info.subKeys == 0;
    }
    if (empty && !(entry.flags & kNoRemove)) parent.DeleteSubKey(entry.name.c_str());
  }
}

std::string Expand(const char* script, const char* module) {
  std::string text(script);
  const std::string name = "%MODULE%";
  for (size_t at = text.find(name); at != std::string::npos; at = text.find(name, at)) {
    text.replace(at, name.size(), module);
    at += std::strlen(module);
  }
  return text;
}

}  // namespace

HRESULT RunRegistrarScript(const char* script, const char* module, bool registering) {
  if (script == nullptr || module == nullptr) return E_INVALIDARG;
  try {
    std::string text = Expand(script, module);
    std::vector<CRoot> roots;
    if (!CParser(text).ParseScript(roots)) return E_INVALIDARG;
    for (const CRoot& root : roots) {
      // The root itself, with whatever access this user has to it: the
      // access of each key below is checked when it is opened.
      CRegistryKey rootKey(MAXIMUM_ALLOWED);
      LONG error = rootKey.OpenKey(root.key, "", OpenExisting);
      if (error != ERROR_SUCCESS) {
        if (registering) return HRESULT_FROM_WIN32(error);
        continue;
      }
      if (!registering) {
        Unregister(rootKey, root.entries);
        continue;
      }
      HRESULT hr = Register(rootKey, root.entries);
      if (FAILED(hr)) return hr;
    }
    return S_OK;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}
