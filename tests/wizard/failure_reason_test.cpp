// The reason line the failure message gives for every result code.
#include <gtest/gtest.h>

#include "failure_reason.h"
#include "resource.h"

namespace {

TEST(FailureReason, EveryResultCodeHasItsReasonOrNone) {
  struct {
    ResultCode code;
    int reason;
  } cases[] = {
      {SUCCESS, 0}, {COMMON_INVALID_PARAM, 0}, {COMMON_OUTOFMEMORY, 0},
      {MODULE_NOTEXIST_REGINFO, 0}, {MODULE_NOTMATCH_VERSION, 0}, {MODULE_INVALID_DOMAIN, 0},
      {DLL_INVALID_DOMAIN, 15}, {DLL_INVALID_SIGNCODE, 15}, {DLL_UNKNOWN, 0},
      {DLL_USERCANCEL, 0}, {DLL_CANT_CREATETHREAD, 0}, {DLL_CANT_GETFILESIZE, 16},
      {DLL_CANT_OPENURL, 16}, {DLL_CANT_READURL, 16}, {DLL_CANT_OPEN_WRITEFILE, 17},
      {DLL_CANT_WRITEFILE, 17}, {DLL_CANT_ANALYZE_CABFILECOUNT, 18},
      {DLL_CANT_OPEN_EXTRACTFILE, 18}, {DLL_CANT_EXTRACTFILE, 19}, {DLL_CANT_LOADINFFILE, 20},
      {DLL_CANT_GET_OCCCACHE, 0}, {DLL_CANT_REGISTSERVER, 21}, {DLL_CANT_COPYFILE, 21},
      {DLL_MISSING_MODULE, 15}, {DLL_UNKNOWN_TARGET, 15}, {5100, 0},
      {DLL_LOADINF_NOTMATCH_NEEDVERSION, 23}, {5113, 0}, {DLL_REMOVE_CANT, 24},
      {DLL_REMOVE_FAIL_UNREGIST_DLL, 0}, {DLL_ETC_INVALID_OWNERCLSID, 0}, {-1, 0},
  };
  for (const auto& c : cases) EXPECT_EQ(GetFailureReasonId(c.code), c.reason) << c.code;
  for (ResultCode code = DLL_LOADINF_CANT_FIND_ADDCODE; code <= DLL_LOADINF_NOTEXISTS_ANYITEM; ++code)
    EXPECT_EQ(GetFailureReasonId(code), IDS_REASON_INVALID_SETUP_INFO) << code;
}

}  // namespace
