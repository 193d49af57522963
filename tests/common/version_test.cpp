#include "version.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace {

uint64_t Packed(uint64_t a, uint64_t b, uint64_t c, uint64_t d) {
  return (a << 48) | (b << 32) | (c << 16) | d;
}

}  // namespace

TEST(VersionTest, ParsesFourNumbersInEveryWrittenForm) {
  const struct {
    const char* text;
    uint64_t packed;
  } cases[] = {
      {"1.0.0.5", Packed(1, 0, 0, 5)},
      {"1,0,0,5", Packed(1, 0, 0, 5)},
      {"1, 0, 0, 5", Packed(1, 0, 0, 5)},
      {"1 . 0 . 0 . 5", Packed(1, 0, 0, 5)},
      {" 1.0.0.5 ", Packed(1, 0, 0, 5)},
      {"1..2.3", Packed(1, 0, 2, 3)},
      {"...", 0},
      {"0.0.0.0", 0},
      {"1.2.70000.4", Packed(1, 2, 4464, 4)},
      {"65536.1.1.1", Packed(0, 1, 1, 1)},
      {"-1.0.0.0", Packed(65535, 0, 0, 0)},
      {"+7.\t8.9x.10 beta", Packed(7, 8, 9, 10)},
      {"a.b.c.d", 0},
      {"65535.65535.65535.65535", UINT64_MAX},
      // An oversized number keeps its low 16 bits: 4294967297 is 2^32 + 1.
      {"4294967297.0.0.0", Packed(1, 0, 0, 0)},
  };
  for (const auto& c : cases) {
    uint64_t version = 12345;
    EXPECT_TRUE(ParseVersion(c.text, &version)) << c.text;
    EXPECT_EQ(c.packed, version) << c.text;
  }
}

TEST(VersionTest, RejectsTextsWithoutExactlyFourNumbers) {
  for (const char* text : {"", "1", "1.2.3", "1.2.3.4.5", "1,2,3", "1.2.3.4.",
                           ".1.2.3.4", "1;2;3;4"}) {
    uint64_t version = 12345;
    EXPECT_FALSE(ParseVersion(text, &version)) << text;
    EXPECT_EQ(12345u, version) << text;
  }
  uint64_t version = 12345;
  EXPECT_FALSE(ParseVersion(nullptr, &version));
  EXPECT_EQ(12345u, version);
  EXPECT_FALSE(ParseVersion("1.2.3.4", nullptr));
}

TEST(VersionTest, ComparesUnsignedHighHalfFirst) {
  EXPECT_EQ(0, CompareVersion(Packed(1, 2, 3, 4), Packed(1, 2, 3, 4)));
  EXPECT_EQ(-1, CompareVersion(Packed(1, 2, 3, 4), Packed(1, 2, 3, 5)));
  EXPECT_EQ(1, CompareVersion(Packed(1, 2, 3, 5), Packed(1, 2, 3, 4)));
  EXPECT_EQ(1, CompareVersion(Packed(2, 0, 0, 0), Packed(1, 65535, 65535, 65535)));
  EXPECT_EQ(-1, CompareVersion(Packed(1, 0, 65535, 65535), Packed(1, 1, 0, 0)));
  EXPECT_EQ(1, CompareVersion(Packed(65535, 0, 0, 0), Packed(1, 0, 0, 0)));
  EXPECT_EQ(1, CompareVersion(Packed(1, 0, 32768, 0), Packed(1, 0, 1, 0)));
}

TEST(VersionTest, AtLeastIsLenientAboutWhatDoesNotParse) {
  const struct {
    const char* have;
    const char* need;
    bool atLeast;
  } cases[] = {
      {"1.0.0.5", "1.0.0.5", true},
      {"1,0,0,6", "1.0.0.5", true},
      {"1.0.0.4", "1, 0, 0, 5", false},
      {"1.9.9.9", "2.0.0.0", false},
      {"65535.0.0.0", "1.0.0.0", true},
      {"1.0.0.0", "65535.0.0.0", false},
      {"0.0.0.0", "0.0.0.0", true},
      {"0.0.0.1", "0.0.0.0", true},
      {"1.0.0.0", "0.0.0.0", true},
      // A needed version that does not parse lets every file pass.
      {"1.0.0.0", "1.2.3", true},
      {"1.0.0.0", "1.2.3.4.5", true},
      {"1.0.0.0", "", true},
      {"1.0.0.0", nullptr, true},
      // So does an installed version that does not parse.
      {"", "9.9.9.9", true},
      {"garbage", "9.9.9.9", true},
      {nullptr, "9.9.9.9", true},
      // 70000 packs as 4464.
      {"1.2.4464.4", "1.2.70000.4", true},
      {"1.2.4463.4", "1.2.70000.4", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.atLeast, IsVersionAtLeast(c.have, c.need))
        << (c.have ? c.have : "(null)") << " vs " << (c.need ? c.need : "(null)");
  }
}
