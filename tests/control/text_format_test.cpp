// The control's own formatter, which builds its registry key paths.
#include <gtest/gtest.h>

#include <string>

#include "text_format.h"

namespace {

TEST(FormatTextTest, ConversionsWidthsAndPadding) {
  const struct {
    std::string got;
    const char* expected;
  } cases[] = {
      {FormatText("CLSID\\%s\\InprocServer32", "{AB}").get(), "CLSID\\{AB}\\InprocServer32"},
      {FormatText("%s", static_cast<const char*>(nullptr)).get(), "(NULL)"},
      {FormatText("%c%c", 'o', 'k').get(), "ok"},
      {FormatText("%d %i", -42, 7).get(), "-42 7"},
      {FormatText("%u", 4294967295u).get(), "4294967295"},
      {FormatText("%o %x %X %b", 8, 255, 255, 5).get(), "10 ff FF 101"},
      {FormatText("[%5d][%05d]", 42, 42).get(), "[   42][00042]"},
      {FormatText("[%05d]", -42).get(), "[-0042]"},
      {FormatText("[%4s]", "ab").get(), "[  ab]"},
      {FormatText("100%%").get(), "100%"},
      {FormatText("a%qb").get(), "ab"},
      {FormatText("tail%").get(), "tail"},
      {FormatText("").get(), ""},
  };
  for (const auto& c : cases) EXPECT_EQ(c.expected, c.got);
  EXPECT_EQ(nullptr, FormatText(nullptr));
}

// The buffer is measured first, so a long text is written whole.
TEST(FormatTextTest, LongTextsAreNeverCut) {
  std::string longText(100000, 'x');
  std::string got = FormatText("<%s>", longText.c_str()).get();
  EXPECT_EQ("<" + longText + ">", got);
}

}  // namespace
