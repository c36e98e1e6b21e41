#include <gtest/gtest.h>
#include <zlib.h>

#include "support/StringUtil.h"

namespace {

std::vector<std::string> Split(std::string_view s, std::string_view sep, int nMax = 0,
                               bool bWhole = false) {
  std::vector<std::string> sa{"stale"};
  const int n = ParseString(s, sep, sa, nMax, bWhole);
  EXPECT_EQ(n, int(sa.size()));
  return sa;
}

using V = std::vector<std::string>;

TEST(ParseString, CharacterSeparatorsDropOnlyLeadingEmptyPieces) {
  EXPECT_EQ(Split("a,b,c", ","), (V{"a", "b", "c"}));
  EXPECT_EQ(Split(",,a,,b,", ","), (V{"a", "", "b"}));
  EXPECT_EQ(Split("a;b,c", ",;"), (V{"a", "b", "c"}));
  EXPECT_EQ(Split("", ","), V{});
  EXPECT_EQ(Split(",,,", ","), V{});
  EXPECT_EQ(Split("abc", ","), V{"abc"});
}

TEST(ParseString, WholeSeparatorKeepsEveryPiece) {
  EXPECT_EQ(Split("one~\ntwo~\n~\nthree", "~\n", 0, true), (V{"one", "two", "", "three"}));
  EXPECT_EQ(Split("~\nx", "~\n", 0, true), (V{"", "x"}));
  // Without the flag the same text splits at each of the two characters.
  EXPECT_EQ(Split("one~\ntwo", "~\n"), (V{"one", "", "two"}));
}

TEST(ParseString, MaximumCountDropsTheRest) {
  EXPECT_EQ(Split("a|b|c|d", "|", 2), (V{"a", "b"}));
  EXPECT_EQ(Split("a|b", "|", 5), (V{"a", "b"}));
  EXPECT_EQ(Split("a~\nb~\nc", "~\n", 1, true), V{"a"});
}

TEST(GetCRC, MatchesZlibAndLiftsSmallValues) {
  for (std::string s : {"", "SERVER.ROOT.DBM", "Kelvo", "a much longer text with spaces"}) {
    const uint32_t nZ = uint32_t(crc32(0, reinterpret_cast<const Bytef*>(s.data()), uInt(s.size())));
    EXPECT_EQ(GetCRC(s), nZ < 1024 ? nZ + 1024 : nZ) << s;
  }
  const std::string sSmall = "kelvo293235";  // its CRC-32 is below 1024
  const uint32_t nZ =
      uint32_t(crc32(0, reinterpret_cast<const Bytef*>(sSmall.data()), uInt(sSmall.size())));
  ASSERT_LT(nZ, 1024u);
  EXPECT_EQ(GetCRC(sSmall), nZ + 1024);
}

TEST(StoredText, SingleByteWhereItFitsUtf8Otherwise) {
  // "Müller" fits Windows-1252: stored as one byte per character.
  const std::string sMueller = "M\xC3\xBCller";
  EXPECT_EQ(EncodeStoredText(sMueller), "M\xFCller");
  EXPECT_EQ(DecodeStoredText("M\xFCller"), sMueller);
  // The euro sign lives at 0x80 in Windows-1252.
  EXPECT_EQ(EncodeStoredText("\xE2\x82\xAC"), "\x80");
  EXPECT_EQ(DecodeStoredText("\x80"), "\xE2\x82\xAC");
  // Cyrillic does not fit: stored as UTF-8 and read back unchanged.
  const std::string sIvan = "\xD0\x98\xD0\xB2\xD0\xB0\xD0\xBD";
  EXPECT_EQ(EncodeStoredText(sIvan), sIvan);
  EXPECT_EQ(DecodeStoredText(EncodeStoredText(sIvan)), sIvan);
  // Plain ASCII is untouched both ways.
  EXPECT_EQ(EncodeStoredText("Smith"), "Smith");
  EXPECT_EQ(DecodeStoredText("Smith"), "Smith");
  // A Windows-1252 text whose bytes happen to form UTF-8 ("Ã¼") is stored
  // as UTF-8 so that it reads back as the same characters.
  const std::string sTricky = "\xC3\x83\xC2\xBC";
  EXPECT_EQ(DecodeStoredText(EncodeStoredText(sTricky)), sTricky);
}

TEST(Numbers, ParseAndFormatIgnoreTheLocale) {
  long long n = 0;
  EXPECT_TRUE(ParseInt(" 42 ", n));
  EXPECT_EQ(n, 42);
  EXPECT_TRUE(ParseInt("-7", n));
  EXPECT_EQ(n, -7);
  EXPECT_FALSE(ParseInt("4x", n));
  EXPECT_FALSE(ParseInt("", n));
  double d = 0;
  EXPECT_TRUE(ParseDouble("1.5", d));
  EXPECT_DOUBLE_EQ(d, 1.5);
  EXPECT_FALSE(ParseDouble("1,5", d));
  EXPECT_EQ(FormatDouble(1.5), "1.5");
}

}  // namespace
