// CInstallPackage: its inputs and the reading of the setup information
// file into install items.
#include "install_package.h"

#include <windows.h>

#include <mbstring.h>

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <new>

#include "ansi_string.h"
#include "path_util.h"
#include "version.h"

namespace {

// Every profile read uses a buffer of this size. A read that fills it up to
// kProfileBufferSize - 2 characters was cut short.
constexpr DWORD kProfileBufferSize = 32768;

const char kAddCodeSection[] = "Add.Code";

}  // namespace

CInstallPackage::CInstallPackage() = default;

CInstallPackage::~CInstallPackage() { Reset(); }

void CInstallPackage::Init(IInstallProgress* listener, const char* extractionFolder,
                           const char* clsid, const char* codebase, const char* needVersion,
                           int32_t timeStamp) {
  Reset();
  listener_ = listener;
  extractionFolder_ = WithoutTrailingSlashes(extractionFolder ? extractionFolder : "");
  codebase_ = codebase ? codebase : "";
  clsid_ = clsid ? clsid : "";
  needVersion_ = needVersion ? needVersion : "";
  timeStamp_ = timeStamp;
  ready_ = !extractionFolder_.empty() && !codebase_.empty();
}

void CInstallPackage::Reset() {
  items_.clear();
  infItem_ = InstallItem();
  mainItem_ = nullptr;
  extractionFolder_.clear();
  codebase_.clear();
  clsid_.clear();
  needVersion_.clear();
  ready_ = false;
  listener_ = nullptr;
}

bool CInstallPackage::IsCancelled() const { return listener_ && listener_->IsCancelled(); }

bool CInstallPackage::IsRequestedControl(const InstallItem& item) const {
  return item.registerServer && !item.clsid.empty() &&
         EqualsIgnoringCase(item.clsid.c_str(), clsid_.c_str());
}

ResultCode CInstallPackage::LoadSetupInfo() {
  if (!ready_) return DLL_LOADINF_NOT_INITED;
  std::string pattern = extractionFolder_ + "\\*.inf";
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA(pattern.c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return DLL_LOADINF_MISSING_INFFILE;
  // The directory search returns names in no promised order; of several
  // setup information files the first by name, ignoring case, is read, so
  // that the same package always installs the same way.
  std::string chosen = found.cFileName;
  while (FindNextFileA(search, &found)) {
    if (_mbsicmp(reinterpret_cast<const unsigned char*>(found.cFileName),
                 reinterpret_cast<const unsigned char*>(chosen.c_str())) < 0)
      chosen = found.cFileName;
  }
  FindClose(search);
  return ReadSetupInfo((extractionFolder_ + "\\" + chosen).c_str());
}

ResultCode CInstallPackage::ReadSetupInfo(const char* path) {
  if (path == nullptr) return COMMON_INVALID_PARAM;
  if (!ready_) return DLL_LOADINF_NOT_INITED;
  if (IsCancelled()) return DLL_USERCANCEL;

  items_.clear();
  infItem_ = InstallItem();
  mainItem_ = nullptr;

  // Key names come back as a list of texts ended by an empty one.
  std::vector<char> names(kProfileBufferSize, '\0');
  DWORD length =
      GetPrivateProfileStringA(kAddCodeSection, nullptr, "", names.data(), kProfileBufferSize, path);
  if (length == 0 || length == kProfileBufferSize - 2) return DLL_LOADINF_CANT_FIND_ADDCODE;
  if (IsCancelled()) return DLL_USERCANCEL;

  for (size_t offset = 0; offset < kProfileBufferSize && names[offset] != '\0';) {
    const char* name = &names[offset];
    if (IsCancelled()) return DLL_USERCANCEL;
    ResultCode result = ParseItem(path, name);
    if (result != SUCCESS) return result;
    offset += std::strlen(name) + 1;
  }

  if (mainItem_ == nullptr) return DLL_LOADINF_NOTEXISTS_ACTIVEXDLL;
  // The version the file declares and the one in its version resource
  // must both be new enough.
  if (!IsVersionAtLeast(mainItem_->fileVersion.c_str(), needVersion_.c_str()) ||
      !FileVersionAtLeast(mainItem_->sourcePath.c_str(), needVersion_.c_str()))
    return DLL_LOADINF_NOTMATCH_NEEDVERSION;

  infItem_.name = GetFileNameFromPath(path);
  infItem_.sourcePath = path;
  return SUCCESS;
}

bool CInstallPackage::ReadProfileValue(const char* path, const char* section, const char* key,
                                       std::string& text) const {
  std::vector<char> value(kProfileBufferSize, '\0');
  DWORD length =
      GetPrivateProfileStringA(section, key, "", value.data(), kProfileBufferSize, path);
  if (length == 0 || length == kProfileBufferSize - 2) return false;
  text.assign(value.data(), length);
  return true;
}

ResultCode CInstallPackage::ParseItem(const char* path, const char* name) {
  if (path == nullptr || name == nullptr) return COMMON_INVALID_PARAM;

  std::string value;
  if (ReadProfileValue(path, name, "hook", value)) return DLL_LOADINF_NOT_IMPLEMENT;
  if (FindItem(name) != nullptr) return DLL_LOADINF_ITEM_DUPLICATED;

  if (!ReadProfileValue(path, name, "file-win32-x86", value)) return DLL_LOADINF_MISSING_SRCPATH;
  if (EqualsIgnoringCase(value.c_str(), "url")) return DLL_LOADINF_NOT_IMPLEMENT;
  if (EqualsIgnoringCase(value.c_str(), "ignore")) return SUCCESS;

  std::string sourcePath;
  if (!GetSourcePath(name, sourcePath)) return DLL_LOADINF_CANT_GET_FULLSRCFILE;
  if (GetPathType(sourcePath.c_str()) != PathFile) return DLL_LOADINF_MISSING_FILE;

  std::unique_ptr<InstallItem> item(new (std::nothrow) InstallItem);
  if (!item) return COMMON_OUTOFMEMORY;
  item->name = name;
  item->sourcePath = sourcePath;
  ReadProfileValue(path, name, "clsid", item->clsid);
  ReadProfileValue(path, name, "FileVersion", item->fileVersion);
  if (ReadProfileValue(path, name, "RegisterServer", value))
    item->registerServer = EqualsIgnoringCase(value.c_str(), "yes");
  if (ReadProfileValue(path, name, "DestDir", value)) {
    if (!std::isdigit(static_cast<unsigned char>(value[0]))) return DLL_LOADINF_INVALID_DESTINFO;
    switch (std::atoi(value.c_str())) {
      case 10: item->destDir = DestWindowsFolder; break;
      case 11: item->destDir = DestSystemFolder; break;
      default: return DLL_LOADINF_INVALID_DESTINFO;
    }
  }

  items_.push_back(std::move(item));
  // Of several items for the requested control the last one counts.
  if (IsRequestedControl(*items_.back())) mainItem_ = items_.back().get();
  return SUCCESS;
}

InstallItem* CInstallPackage::FindItem(const char* name) const {
  if (name == nullptr) return nullptr;
  for (const auto& item : items_)
    if (EqualsIgnoringCase(item->name.c_str(), name)) return item.get();
  return nullptr;
}

bool CInstallPackage::GetSourcePath(const char* name, std::string& out) const {
  if (!ready_ || extractionFolder_.empty() || name == nullptr) return false;
  if (!IsContainedName(name)) return false;
  out = extractionFolder_ + "\\" + name;
  return true;
}
