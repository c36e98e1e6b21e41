// The record buffer codec: field encodings, bounds and stored text.

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "data/CDataRecord.h"
#include "RawPayload.h"

namespace {

std::vector<uint8_t> Encode(auto fnWrite, uint32_t nLimit = DB_MAX_BLOCK) {
  std::vector<uint8_t> buf(DB_BUFFER_SIZE, 0xEE);
  stRecordBuffer b(buf.data(), nLimit);
  const uint32_t n = fnWrite(b);
  EXPECT_FALSE(b.m_bFailed) << b.m_sFailure;
  buf.resize(n);
  return buf;
}

}  // namespace

TEST(DataRecordCodec, StoredFieldBytes) {
  EXPECT_EQ(Encode([](stRecordBuffer& b) { return CDataRecord::LoadBuffer(b, 0, std::string(), "x"); }),
            (std::vector<uint8_t>{1, 0, 0, 0, 0}));
  EXPECT_EQ(Encode([](stRecordBuffer& b) { return CDataRecord::LoadBuffer(b, 0, std::string("abc"), "x"); }),
            (std::vector<uint8_t>{4, 0, 0, 0, 'a', 'b', 'c', 0}));
  EXPECT_EQ(Encode([](stRecordBuffer& b) { return CDataRecord::LoadBuffer(b, 0, 1.0); }),
            (std::vector<uint8_t>{0, 0, 0, 0, 0, 0, 0xF0, 0x3F}));
  EXPECT_EQ(Encode([](stRecordBuffer& b) { return CDataRecord::LoadBuffer(b, 0, uint32_t(0x11223344)); }),
            (std::vector<uint8_t>{0x44, 0x33, 0x22, 0x11}));
  EXPECT_EQ(Encode([](stRecordBuffer& b) { return CDataRecord::LoadBuffer(b, 0, std::vector<uint32_t>{}); }),
            (std::vector<uint8_t>{0, 0, 0, 0}));
  EXPECT_EQ(Encode([](stRecordBuffer& b) {
              return CDataRecord::LoadBuffer(b, 0, std::vector<std::string>{"a", ""}, "x");
            }),
            (std::vector<uint8_t>{2, 0, 0, 0, 2, 0, 0, 0, 'a', 0, 1, 0, 0, 0, 0}));
  EXPECT_EQ(Encode([](stRecordBuffer& b) { return CDataRecord::LoadBuffer(b, 0, 'P'); }),
            (std::vector<uint8_t>{'P'}));
}

TEST(DataRecordCodec, ReadsBackEveryFieldTypeAndEmptiesArrays) {
  CRawPayload p;
  p.U8('Z').U32(0xFFFFFFFE).F32(2.5f).F64(45000.75).Str("hello").U32(0).U32Array({7, 3});
  p.F64Array({1.5, -2.0}).U32(2).Str("one").Str("two").U32(0);
  stRecordBuffer b(p.Bytes().data(), uint32_t(p.Size()));
  char c = 0;
  int32_t n = 0;
  float f = 0;
  double d = 0;
  std::string s, sEmpty = "junk";
  std::vector<uint32_t> na{99};
  std::vector<double> da;
  std::vector<std::string> sa{"old"};
  std::vector<uint32_t> naEmpty{1, 2, 3};
  uint32_t nPos = CDataRecord::ReadBuffer(b, 0, c);
  nPos = CDataRecord::ReadBuffer(b, nPos, n);
  nPos = CDataRecord::ReadBuffer(b, nPos, f);
  nPos = CDataRecord::ReadBuffer(b, nPos, d);
  nPos = CDataRecord::ReadBuffer(b, nPos, s);
  nPos = CDataRecord::ReadBuffer(b, nPos, sEmpty);  // L = 0: empty, 4 bytes
  nPos = CDataRecord::ReadBuffer(b, nPos, na);
  nPos = CDataRecord::ReadBuffer(b, nPos, da);
  nPos = CDataRecord::ReadBuffer(b, nPos, sa);
  nPos = CDataRecord::ReadBuffer(b, nPos, naEmpty);
  ASSERT_FALSE(b.m_bFailed) << b.m_sFailure;
  EXPECT_EQ(nPos, p.Size());
  EXPECT_EQ(c, 'Z');
  EXPECT_EQ(n, -2);
  EXPECT_EQ(f, 2.5f);
  EXPECT_EQ(d, 45000.75);
  EXPECT_EQ(s, "hello");
  EXPECT_EQ(sEmpty, "");
  EXPECT_EQ(na, (std::vector<uint32_t>{7, 3}));
  EXPECT_EQ(da, (std::vector<double>{1.5, -2.0}));
  EXPECT_EQ(sa, (std::vector<std::string>{"one", "two"}));
  EXPECT_TRUE(naEmpty.empty());
}

TEST(DataRecordCodec, StringTextEndsAtFirstNulOrBeforeTheLastByte) {
  CRawPayload p;
  p.U32(6).Raw("ab").U8(0).Raw("cd").U8(0);  // NUL early: "ab", all 6 bytes consumed
  p.U32(4).Raw("wxyz");                       // no NUL: text is L - 1 = 3 bytes
  p.U32(1).U8(0);                             // L = 1: empty
  stRecordBuffer b(p.Bytes().data(), uint32_t(p.Size()));
  std::string s1, s2, s3 = "x";
  uint32_t n = CDataRecord::ReadBuffer(b, 0, s1);
  EXPECT_EQ(n, 10u);
  n = CDataRecord::ReadBuffer(b, n, s2);
  n = CDataRecord::ReadBuffer(b, n, s3);
  ASSERT_FALSE(b.m_bFailed);
  EXPECT_EQ(s1, "ab");
  EXPECT_EQ(s2, "wxy");
  EXPECT_EQ(s3, "");
  EXPECT_EQ(n, p.Size());
}

TEST(DataRecordCodec, StringLengthLimitRefusesInsteadOfEmptying) {
  const std::string s4095(4095, 'q'), s4096(4096, 'q');
  std::vector<uint8_t> buf(DB_BUFFER_SIZE);
  stRecordBuffer b(buf.data(), DB_MAX_BLOCK);
  EXPECT_EQ(CDataRecord::LoadBuffer(b, 0, s4095, "comment"), 4100u);
  EXPECT_FALSE(b.m_bFailed);
  EXPECT_EQ(GetUint32(buf.data()), 4096u);

  stRecordBuffer b2(buf.data(), DB_MAX_BLOCK);
  CDataRecord::LoadBuffer(b2, 0, s4096, "comment");
  EXPECT_TRUE(b2.m_bFailed);
  EXPECT_NE(b2.m_sFailure.find("length 4097"), std::string::npos) << b2.m_sFailure;
  EXPECT_NE(b2.m_sFailure.find("\"comment\""), std::string::npos) << b2.m_sFailure;
  EXPECT_EQ(s4096.size(), 4096u);  // memory keeps the text

  // Stored length counts the stored bytes: 2047 two-byte letters beyond
  // Windows-1252 are 4094 bytes and fit; 2048 of them do not.
  std::string sWide;
  for (int i = 0; i < 2047; ++i) sWide += "\xC5\x81";  // U+0141
  stRecordBuffer b3(buf.data(), DB_MAX_BLOCK);
  EXPECT_EQ(CDataRecord::LoadBuffer(b3, 0, sWide, "x"), 4 + 4095u);
  sWide += "\xC5\x81";
  stRecordBuffer b4(buf.data(), DB_MAX_BLOCK);
  CDataRecord::LoadBuffer(b4, 0, sWide, "x");
  EXPECT_TRUE(b4.m_bFailed);
}

TEST(DataRecordCodec, WritingStopsAtTheBufferLimit) {
  std::vector<uint8_t> buf(64, 0xEE);
  stRecordBuffer b(buf.data(), 10);
  uint32_t n = CDataRecord::LoadBuffer(b, 0, 1.0);
  n = CDataRecord::LoadBuffer(b, n, uint32_t(5));  // 12 bytes do not fit 10
  EXPECT_TRUE(b.m_bFailed);
  n = CDataRecord::LoadBuffer(b, n, 'x');  // nothing more is written after a failure
  EXPECT_EQ(n, 8u);
  EXPECT_EQ(buf[8], 0xEE);
  EXPECT_EQ(buf[10], 0xEE);
}

TEST(DataRecordCodec, HostileLengthsAndCountsFailWithoutReadingPastTheRecord) {
  // Each payload is placed at the end of an exactly sized heap block, so the
  // sanitizer catches any read beyond it.
  const std::vector<std::vector<uint8_t>> hostile = {
      CRawPayload().U32(0xFFFFFFFF).Bytes(),                      // string length huge
      CRawPayload().U32(10).Raw("abc").Bytes(),                   // string cut short
      CRawPayload().U32(0x40000000).U32(1).Bytes(),               // array count huge
      CRawPayload().U32(3).U32(1).U32(2).Bytes(),                 // array one element short
      CRawPayload().U32(2).Str("x").U32(0x7FFFFFFF).Bytes(),      // string array, bad second length
      CRawPayload().U8(1).U8(2).Bytes(),                          // integer cut short
  };
  for (size_t i = 0; i < hostile.size(); ++i) {
    std::vector<uint8_t> exact(hostile[i]);
    stRecordBuffer b(exact.data(), uint32_t(exact.size()));
    std::string s;
    std::vector<uint32_t> na{42};
    std::vector<std::string> sa{"keep"};
    if (i == 0 || i == 1) CDataRecord::ReadBuffer(b, 0, s);
    if (i == 2 || i == 3) CDataRecord::ReadBuffer(b, 0, na);
    if (i == 4) CDataRecord::ReadBuffer(b, 0, sa);
    if (i == 5) CDataRecord::ReadBuffer(b, 0, na[0]);
    EXPECT_TRUE(b.m_bFailed) << "payload " << i;
    EXPECT_FALSE(b.m_sFailure.empty());
    if (i == 2 || i == 3) {
      EXPECT_TRUE(na.empty());
    }
    if (i == 4) {
      EXPECT_TRUE(sa.empty());
    }
  }
}

TEST(DataRecordCodec, TextIsWindows1252WhenItFitsElseUtf8AndOldBytesReadBack) {
  const std::string sMueller = "M\xC3\xBCller";      // UTF-8 in memory
  const std::string sLukasz = "\xC5\x81ukasz";
  auto enc = [](const std::string& s) {
    return Encode([&](stRecordBuffer& b) { return CDataRecord::LoadBuffer(b, 0, s, "name"); });
  };
  EXPECT_EQ(enc(sMueller), (std::vector<uint8_t>{7, 0, 0, 0, 'M', 0xFC, 'l', 'l', 'e', 'r', 0}));
  std::vector<uint8_t> lukasz = enc(sLukasz);
  EXPECT_EQ(GetUint32(lukasz.data()), 8u);  // 7 UTF-8 bytes + NUL
  for (const auto& s : {sMueller, sLukasz}) {
    std::vector<uint8_t> bytes = enc(s);
    stRecordBuffer b(bytes.data(), uint32_t(bytes.size()));
    std::string sBack;
    CDataRecord::ReadBuffer(b, 0, sBack);
    EXPECT_EQ(sBack, s);
  }
  // A file written by the old single-byte program.
  CRawPayload p;
  p.Str("Gr\xFC\xDF" "e \x80" "5");
  stRecordBuffer b(p.Bytes().data(), uint32_t(p.Size()));
  std::string s;
  CDataRecord::ReadBuffer(b, 0, s);
  EXPECT_EQ(s, "Gr\xC3\xBC\xC3\x9F" "e \xE2\x82\xAC" "5");
}

TEST(DataRecordCodec, FixedTextFieldsAreCutAndPadded) {
  uint8_t field[8];
  CDataRecord::PutFixedText(field, 8, "Arial Narrow");
  EXPECT_EQ(std::string(reinterpret_cast<char*>(field), 8), std::string("Arial N\0", 8));
  CDataRecord::PutFixedText(field, 8, "A");
  EXPECT_EQ(std::string(reinterpret_cast<char*>(field), 8), std::string("A\0\0\0\0\0\0\0", 8));
  // Without a NUL the text ends at the field's end.
  const uint8_t full[4] = {'a', 'b', 'c', 'd'};
  EXPECT_EQ(CDataRecord::GetFixedText(full, 4), "abcd");
  // A UTF-8 text is never cut inside a character.
  CDataRecord::PutFixedText(field, 4, "a\xC5\x81\xC5\x81");
  EXPECT_EQ(CDataRecord::GetFixedText(field, 4), "a\xC5\x81");
}
