#include "result_code.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <map>
#include <string>

namespace {

// The whole vocabulary as pages and users see it.
const std::map<ResultCode, std::string> kNames = {
    {0, "SUCCESS"},
    {1001, "COMMON_INVALID_PARAM"},
    {1002, "COMMON_OUTOFMEMORY"},
    {2001, "MODULE_NOTEXIST_REGINFO"},
    {2002, "MODULE_NOTEXIST_CLSID"},
    {2003, "MODULE_NOTEXIST_DLL_FILE"},
    {2004, "MODULE_NOTEXIST_DEPENDENCY_FILE"},
    {2005, "MODULE_UNKNOWN_FILEVERSION"},
    {2006, "MODULE_NOTMATCH_VERSION"},
    {2101, "MODULE_CREATECONTROL_FAIL"},
    {2102, "MODULE_CANT_LOAD_DLL"},
    {2103, "MODULE_CANT_FIND_PROC"},
    {2104, "MODULE_AUTH_ELEVATION_FAIL"},
    {2105, "MODULE_INVALID_DOMAIN"},
    {2106, "MODULE_NOTSAFE_FOR_SCRIPTING"},
    {5001, "DLL_INVALID_DOMAIN"},
    {5002, "DLL_INVALID_SIGNCODE"},
    {5003, "DLL_UNKNOWN"},
    {5004, "DLL_USERCANCEL"},
    {5005, "DLL_CANT_CREATETHREAD"},
    {5006, "DLL_CANT_GETFILESIZE"},
    {5007, "DLL_CANT_OPENURL"},
    {5008, "DLL_CANT_READURL"},
    {5009, "DLL_CANT_OPEN_WRITEFILE"},
    {5010, "DLL_CANT_WRITEFILE"},
    {5011, "DLL_CANT_ANALYZE_CABFILECOUNT"},
    {5012, "DLL_CANT_OPEN_EXTRACTFILE"},
    {5013, "DLL_CANT_EXTRACTFILE"},
    {5014, "DLL_CANT_LOADINFFILE"},
    {5015, "DLL_CANT_GET_OCCCACHE"},
    {5016, "DLL_CANT_REGISTSERVER"},
    {5017, "DLL_CANT_COPYFILE"},
    {5018, "DLL_MISSING_MODULE"},
    {5019, "DLL_UNKNOWN_TARGET"},
    {5101, "DLL_LOADINF_CANT_FIND_ADDCODE"},
    {5102, "DLL_LOADINF_CANT_GET_FULLSRCFILE"},
    {5103, "DLL_LOADINF_NOT_IMPLEMENT"},
    {5104, "DLL_LOADINF_NOT_INITED"},
    {5105, "DLL_LOADINF_ITEM_DUPLICATED"},
    {5106, "DLL_LOADINF_MISSING_INFFILE"},
    {5107, "DLL_LOADINF_MISSING_SRCPATH"},
    {5108, "DLL_LOADINF_MISSING_FILE"},
    {5109, "DLL_LOADINF_INVALID_DESTINFO"},
    {5110, "DLL_LOADINF_NOTEXISTS_ACTIVEXDLL"},
    {5111, "DLL_LOADINF_NOTEXISTS_ANYITEM"},
    {5112, "DLL_LOADINF_NOTMATCH_NEEDVERSION"},
    {5201, "DLL_REMOVE_CANT"},
    {5202, "DLL_REMOVE_FAIL_UNREGIST_DLL"},
    {5901, "DLL_ETC_INVALID_OWNERCLSID"},
};

std::string Format(ResultCode code, size_t size) {
  char buffer[300];
  memset(buffer, '#', sizeof buffer);
  EXPECT_TRUE(FormatResultCode(code, buffer, size));
  // Nothing is written beyond the size given.
  for (size_t i = size; i < sizeof buffer; ++i) EXPECT_EQ('#', buffer[i]) << i;
  return buffer;
}

}  // namespace

TEST(ResultCodeTest, EveryCodeAndEveryGapBetweenRows) {
  ASSERT_EQ(49u, kNames.size());
  for (ResultCode code = -1100; code <= 10000; ++code) {
    const auto row = kNames.find(code);
    const char* name = GetResultCodeName(code);
    if (row == kNames.end()) {
      EXPECT_EQ(nullptr, name) << code;
    } else {
      ASSERT_NE(nullptr, name) << code;
      EXPECT_EQ(row->second, name) << code;
    }
  }
  for (ResultCode code : {INT_MIN, INT_MIN + 1, -5004, 65536 + 5004, INT_MAX}) {
    EXPECT_EQ(nullptr, GetResultCodeName(code)) << code;
  }
}

TEST(ResultCodeTest, FormatWritesNameOrSignedDecimal) {
  const struct {
    ResultCode code;
    const char* text;
  } cases[] = {
      {0, "SUCCESS"},
      {5014, "DLL_CANT_LOADINFFILE"},
      {5018, "DLL_MISSING_MODULE"},
      {5111, "DLL_LOADINF_NOTEXISTS_ANYITEM"},
      {2002, "MODULE_NOTEXIST_CLSID"},
      {5202, "DLL_REMOVE_FAIL_UNREGIST_DLL"},
      {1234, "1234"},
      {-1, "-1"},
      {5020, "5020"},
      {1003, "1003"},
      {INT_MIN, "-2147483648"},
      {INT_MAX, "2147483647"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.text, Format(c.code, 260)) << c.code;
}

TEST(ResultCodeTest, FormatCutsToSizeAndAlwaysTerminates) {
  EXPECT_EQ("", Format(5003, 1));
  EXPECT_EQ("", Format(1234, 1));
  EXPECT_EQ("DLL_UNK", Format(5003, 8));
  EXPECT_EQ("-12", Format(-12345, 4));
  EXPECT_EQ("DLL_UNKNOWN", Format(5003, 12));
  EXPECT_EQ("DLL_UNKNOW", Format(5003, 11));
}

TEST(ResultCodeTest, ThirtyThreeBytesHoldEveryNameAndThirtyTwoCutTheLongest) {
  size_t longest = 0;
  for (const auto& row : kNames) {
    EXPECT_EQ(row.second, Format(row.first, 33)) << row.first;
    longest = std::max(longest, row.second.size());
  }
  EXPECT_EQ(32u, longest);
  for (ResultCode code : {5102, 5110, 5112}) {
    EXPECT_EQ(kNames.at(code).substr(0, 31), Format(code, 32)) << code;
  }
}

TEST(ResultCodeTest, NullBufferOrZeroSizeWritesNothing) {
  char buffer[8] = "intact";
  EXPECT_FALSE(FormatResultCode(5003, buffer, 0));
  EXPECT_STREQ("intact", buffer);
  EXPECT_FALSE(FormatResultCode(5003, nullptr, 260));
  EXPECT_FALSE(FormatResultCode(1234, nullptr, 0));
}
