// Writing and removing the registry records of an installed control.
#include "install_records.h"

#include <windows.h>

#include <shlwapi.h>

#include <cstdio>
#include <ctime>
#include <vector>

#include "ansi_string.h"
#include "domain_suffix.h"
#include "install_package.h"

namespace {

const char kDistributionUnits[] = "SOFTWARE\\Microsoft\\Code Store Database\\Distribution Units\\";
const char kModuleUsageKeyPath[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\ModuleUsage";
const char kUnknownOwner[] = "Unknown Owner";
const char kOwnerValue[] = ".Owner";

}  // namespace

const char kSharedDllsKeyPath[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDlls";

std::string StatisticsKeyPath(const char* clsid) {
  return std::string("Software\\Microsoft\\Windows\\CurrentVersion\\Ext\\Stats\\") + clsid +
         "\\iexplore";
}

std::string ModuleUsageKeyPath(const char* file) {
  return std::string(kModuleUsageKeyPath) + "\\" + ModuleUsageKeyName(file);
}

void FormatDistributionUnitPath(const char* clsid, std::string& path) {
  path = std::string(kDistributionUnits) + (clsid ? clsid : "");
}

void FormatGmtTime(int32_t time, std::string& text) {
  // The names are spelled out rather than taken from strftime so that the
  // record reads the same whatever locale the hosting process has set.
  static const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  time_t value = time;
  const struct tm* utc = gmtime(&value);
  if (utc == nullptr) {
    text.clear();
    return;
  }
  char buffer[128];
  std::snprintf(buffer, sizeof buffer, "%s, %02d %s %04d %02d:%02d:%02d GMT", kDays[utc->tm_wday],
                utc->tm_mday, kMonths[utc->tm_mon], utc->tm_year + 1900, utc->tm_hour, utc->tm_min,
                utc->tm_sec);
  text = buffer;
}

std::string ModuleUsageKeyName(const char* path) {
  std::string name = path ? path : "";
  for (char& c : name)
    if (c == '\\') c = '/';
  return name;
}

CDistributionUnit::CDistributionUnit() = default;

CDistributionUnit::~CDistributionUnit() = default;

bool CDistributionUnit::Open(const char* clsid, bool recreate) {
  if (clsid == nullptr) return false;
  std::string path;
  FormatDistributionUnitPath(clsid, path);
  if (record_.OpenKey(HKEY_LOCAL_MACHINE, path.c_str(), recreate ? Recreate : OpenExisting) !=
      ERROR_SUCCESS)
    return false;
  if (recreate) {
    record_.SetString("Installer", "MSICD");
    record_.SetDWORD("SystemComponent", 0);
  }
  return true;
}

bool CDistributionUnit::OpenSubKey(const char* name, CRegistryKey& key, KeyOpenMode mode) {
  return record_.OpenSubKey(name, key, mode) == ERROR_SUCCESS;
}

bool CDistributionUnit::OpenContainsFiles(CRegistryKey& key) {
  return OpenSubKey("Contains\\Files", key, Recreate);
}

bool CDistributionUnit::WriteDownloadInformation(const char* codebase, const char* infPath,
                                                 const char* version, int32_t timeStamp) {
  if (codebase == nullptr || infPath == nullptr || version == nullptr) return false;
  CRegistryKey download;
  CRegistryKey installed;
  bool opened = OpenSubKey("DownloadInformation", download, OpenOrCreate);
  if (opened) {
    download.SetString("CODEBASE", codebase);
    download.SetString("INF", infPath);
  }
  if (!OpenSubKey("InstalledVersion", installed, OpenOrCreate)) return false;
  std::string lastModified;
  FormatGmtTime(timeStamp, lastModified);
  installed.SetString("", version);
  installed.SetString("LastModified", lastModified.c_str());
  return opened;
}

LONG CDistributionUnit::OpenUsageKey(UsageKey which, CRegistryKey& key) {
  return key.OpenKey(HKEY_LOCAL_MACHINE, which == ModuleUsage ? kModuleUsageKeyPath : kSharedDllsKeyPath,
                     OpenExisting);
}

DWORD CDistributionUnit::CountAfterRelease(const char* path, const CRegistryKey& shared) {
  // A count stored as 0 is as broken as a missing one: both count as this
  // control's single reference, so the file is released rather than left
  // behind with a wrapped count.
  DWORD count = 0;
  if (shared.QueryDWORD(path, count) != ERROR_SUCCESS || count == 0) count = 1;
  return count - 1;
}

void CDistributionUnit::ReleaseFile(const char* path, const char* clsid, CRegistryKey& usage,
                                    CRegistryKey& shared, bool deleteReleasedFile) {
  if (usage.IsOpen()) {
    std::string usageName = ModuleUsageKeyName(path);
    CRegistryKey fileUsage;
    if (usage.OpenSubKey(usageName.c_str(), fileUsage, OpenExisting) == ERROR_SUCCESS) {
      fileUsage.DeleteValue(clsid);
      // The key goes once nobody but an "Unknown Owner" is left in it.
      DWORD threshold = 1;
      std::string owner;
      if (fileUsage.QueryString(kOwnerValue, owner) == ERROR_SUCCESS) {
        if (EqualsIgnoringCase(owner.c_str(), clsid)) {
          fileUsage.SetString(kOwnerValue, kUnknownOwner);
          owner = kUnknownOwner;
        }
        if (EqualsIgnoringCase(owner.c_str(), kUnknownOwner)) threshold = 2;
      }
      DWORD valueCount = 0;
      DWORD longestName = 0;
      if (fileUsage.QueryInfo(valueCount, longestName) && valueCount < threshold) {
        fileUsage.Close();
        usage.DeleteSubTree(usageName.c_str());
      }
    }
  }

  const DWORD count = shared.IsOpen() ? CountAfterRelease(path, shared) : 0;
  if (count != 0) {
    shared.SetDWORD(path, count);
    return;
  }
  shared.DeleteValue(path);
  if (deleteReleasedFile) DeleteFileA(path);
}

void CDistributionUnit::ListFiles(const char* clsid, std::vector<std::string>& recorded,
                                  std::vector<std::string>& released) {
  CDistributionUnit record;
  if (!record.OpenRecord(clsid)) return;
  CRegistryKey files;
  DWORD valueCount = 0;
  DWORD longestName = 0;
  if (record.OpenSubKey("Contains\\Files", files, OpenExisting) &&
      files.QueryInfo(valueCount, longestName) && longestName > 1) {
    std::vector<char> name(longestName, '\0');
    CRegistryKey shared;
    OpenUsageKey(SharedDlls, shared);
    for (DWORD i = 0; i < valueCount; ++i) {
      if (!files.EnumValueName(i, name.data(), longestName) || name[0] == '\0') continue;
      recorded.push_back(name.data());
      if (!shared.IsOpen() || CountAfterRelease(name.data(), shared) == 0)
        released.push_back(name.data());
    }
  }
  CRegistryKey download;
  std::string infPath;
  if (record.OpenSubKey("DownloadInformation", download, OpenExisting) &&
      download.QueryString("INF", infPath) == ERROR_SUCCESS)
    released.push_back(infPath);
}

bool CDistributionUnit::Remove(const char* clsid, bool deleteReleasedFiles) {
  if (!OpenRecord(clsid)) return true;

  CRegistryKey files;
  DWORD valueCount = 0;
  DWORD longestName = 0;
  if (OpenSubKey("Contains\\Files", files, OpenExisting) &&
      files.QueryInfo(valueCount, longestName) && longestName > 1) {
    std::vector<char> name(longestName, '\0');
    CRegistryKey usage;
    CRegistryKey shared;
    OpenUsageKey(ModuleUsage, usage);
    OpenUsageKey(SharedDlls, shared);
    // Each pass deletes the value it handled, so index 0 is always next.
    for (DWORD pass = 0; pass < valueCount; ++pass) {
      if (!files.EnumValueName(0, name.data(), longestName) || name[0] == '\0') continue;
      ReleaseFile(name.data(), clsid, usage, shared, deleteReleasedFiles);
      files.DeleteValue(name.data());
    }
  }
  files.Close();

  CRegistryKey download;
  std::string infPath;
  if (OpenSubKey("DownloadInformation", download, OpenExisting) &&
      download.QueryString("INF", infPath) == ERROR_SUCCESS && deleteReleasedFiles)
    DeleteFileA(infPath.c_str());
  download.Close();

  Close();
  std::string path;
  FormatDistributionUnitPath(clsid, path);
  return SHDeleteKeyA(HKEY_LOCAL_MACHINE, path.c_str()) == ERROR_SUCCESS;
}

void CInstallPackage::WriteInstallRecords(bool oldRecordReleased) {
  const char* clsid = clsid_.c_str();

  CDistributionUnit record;
  CRegistryKey files;
  if (record.RecreateRecord(clsid) && record.OpenContainsFiles(files)) {
    for (const auto& item : items_)
      if (!item->destPath.empty()) files.SetString(item->destPath.c_str(), "");
    files.Close();
    record.WriteDownloadInformation(codebase_.c_str(), infItem_.destPath.c_str(),
                                    mainItem_ ? mainItem_->fileVersion.c_str() : "", timeStamp_);
  }
  record.Close();

  CRegistryKey usage;
  if (CDistributionUnit::OpenUsageKey(CDistributionUnit::ModuleUsage, usage) == ERROR_SUCCESS) {
    for (const auto& item : items_) {
      if (item->destPath.empty()) continue;
      CRegistryKey fileUsage;
      if (usage.OpenSubKey(ModuleUsageKeyName(item->destPath.c_str()).c_str(), fileUsage,
                           OpenOrCreate) != ERROR_SUCCESS)
        continue;
      if (!fileUsage.ValueExists(kOwnerValue)) fileUsage.SetString(kOwnerValue, clsid);
      fileUsage.SetString(clsid, "");
    }
  }

  CRegistryKey shared;
  if (CDistributionUnit::OpenUsageKey(CDistributionUnit::SharedDlls, shared) == ERROR_SUCCESS) {
    for (const auto& item : items_) {
      if (item->destPath.empty()) continue;
      const char* path = item->destPath.c_str();
      DWORD count = 0;
      if (item.get() == mainItem_ || shared.QueryDWORD(path, count) != ERROR_SUCCESS)
        shared.SetDWORD(path, 1);
      else if (oldRecordReleased)
        shared.SetDWORD(path, count + 1);
    }
  }

  // The statistics are the user's first contact with the control: written
  // once, when the key is new, and kept by every later install.
  std::string statsPath = StatisticsKeyPath(clsid);
  CRegistryKey stats;
  if (stats.OpenKey(HKEY_CURRENT_USER, statsPath.c_str(), CreateNewOnly) == ERROR_SUCCESS) {
    SYSTEMTIME now;
    GetSystemTime(&now);
    stats.SetDWORD("Count", 1);
    stats.SetDWORD("Flags", 4);
    stats.SetBinary("Time", &now, sizeof now);
    stats.SetDWORD("Type", 1);
  }
  if (stats.OpenKey(HKEY_CURRENT_USER, statsPath.c_str(), OpenOrCreate) == ERROR_SUCCESS) {
    for (const char* const* suffix = kTrustedDomainSuffixes; *suffix != nullptr; ++suffix) {
      const char* domain = *suffix;
      while (*domain == '.') ++domain;
      if (*domain != '\0') stats.CreateSubKey((std::string("AllowedDomains\\") + domain).c_str());
    }
  }
}
