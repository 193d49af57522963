// CClassCache: what the registry says of the classes one page asks the
// control for, kept while the registry stays as it was. A page asks for the
// same few controls again and again, and each question would otherwise
// reopen the same keys: the registry answers are read once, a watch on
// their keys tells when they may have changed, and only the file system
// is asked again on every call.
//
// Apartment-threaded, like the control that owns it: every call comes on
// one thread, which also arms the registry watch, so nothing is guarded.
#pragma once

#include <windows.h>
#include <unknwn.h>

#include <cstring>
#include <map>
#include <string>

#include "module_check.h"
#include "registry_watch.h"
#include "result_code.h"

class CClassCache {
 public:
  CClassCache() = default;
  CClassCache(const CClassCache&) = delete;
  CClassCache& operator=(const CClassCache&) = delete;

  // Drops every answer when a change of a watched key has been noticed
  // since the answers were read, and watches anew. Called once at the
  // start of each page call that asks, so that one call's answers all
  // date from its start.
  void ForgetIfChanged();
  // As the functions of the same names in module_check.h and
  // script_safety.h.
  ResultCode CheckInstalledModule(const char* clsid, const char* needVersion);
  bool ResolveScriptableClass(REFCLSID clsid, CLSID& runs);
  // Whether object, an instance of runs, is safe for scripting by
  // untrusted callers: its IObjectSafety decides, or, when it has none, the
  // class's category "Safe for Scripting".
  bool IsSafeForScripting(REFCLSID runs, IUnknown* object);
  // Drops every answer: this process has just changed what is installed.
  void Forget();
  // Signalled once a change of the registry since the answers were last
  // read has been noticed: a caller that made a change itself waits for it
  // before it asks.
  HANDLE ChangeNoticed() const { return watch_.Noticed(); }

 private:
  struct CClassAnswers {
    bool resolved = false;
    bool scriptable = false;  // not kill-bitted, and its TreatAs resolves
    CLSID runs = {};
    int safeCategory = -1;    // -1 not read yet, else 0 or 1
  };
  struct CClsidLess {
    bool operator()(const CLSID& a, const CLSID& b) const {
      return std::memcmp(&a, &b, sizeof(CLSID)) < 0;
    }
  };
  CClassAnswers& AnswersOf(REFCLSID clsid);

  CRegistryWatch watch_;
  bool watching_ = false;                                  // watch_ has its keys
  std::map<std::string, CModuleRecord> modules_;           // by the page's class id text
  std::map<CLSID, CClassAnswers, CClsidLess> classes_;
};
