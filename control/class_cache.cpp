#include "class_cache.h"

#include "script_safety.h"

namespace {

// A page that names ever new class ids is not remembered without end.
const size_t kMostRemembered = 64;

}  // namespace

void CClassCache::Forget() {
  modules_.clear();
  classes_.clear();
}

void CClassCache::ForgetIfChanged() {
  if (!watching_) {
    WatchModuleCheckKeys(watch_);
    WatchScriptSafetyKeys(watch_);
    watching_ = true;
  }
  if (!watch_.HasChanged()) return;
  Forget();
  // Armed before anything is read again, so a change made while the
  // answers are read is seen on the next call. A watch that cannot be
  // armed keeps reporting a change: nothing is then kept.
  watch_.Arm();
}

ResultCode CClassCache::CheckInstalledModule(const char* clsid, const char* needVersion) {
  if (clsid == nullptr) return COMMON_INVALID_PARAM;
  if (modules_.size() >= kMostRemembered) modules_.clear();
  return ::CheckInstalledModule(clsid, needVersion, modules_[clsid]);
}

CClassCache::CClassAnswers& CClassCache::AnswersOf(REFCLSID clsid) {
  if (classes_.size() >= kMostRemembered) classes_.clear();
  return classes_[clsid];
}

bool CClassCache::ResolveScriptableClass(REFCLSID clsid, CLSID& runs) {
  CClassAnswers& answers = AnswersOf(clsid);
  if (!answers.resolved) {
    answers.scriptable = ::ResolveScriptableClass(clsid, answers.runs);
    answers.resolved = true;
  }
  runs = answers.runs;
  return answers.scriptable;
}

bool CClassCache::IsSafeForScripting(REFCLSID runs, IUnknown* object) {
  bool hasObjectSafety = false;
  if (AcceptsScripting(object, hasObjectSafety)) return true;
  if (hasObjectSafety || object == nullptr) return false;
  CClassAnswers& answers = AnswersOf(runs);
  if (answers.safeCategory < 0) answers.safeCategory = IsInSafeForScriptingCategory(runs) ? 1 : 0;
  return answers.safeCategory == 1;
}
