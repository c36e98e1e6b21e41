// The record types: stored layouts, defaults, older and newer versions,
// copies and comparisons, and decoding of hostile payloads.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "RawPayload.h"
#include "data/CCategory.h"
#include "data/CConFigTable.h"
#include "data/CFormatRecord.h"
#include "data/CLogRecord.h"
#include "data/CPageLayout.h"
#include "data/CPerson.h"
#include "data/CScheduleRecord.h"
#include "data/CVarData.h"

namespace {

// Encodes with the record's own operation into a fresh 64 KB buffer.
template <class F>
std::vector<uint8_t> Encode(F fnWrite, std::string* pFailure = nullptr) {
  std::vector<uint8_t> buf(DB_BUFFER_SIZE, 0xEE);
  stRecordBuffer b(buf.data(), DB_MAX_BLOCK);
  const uint32_t n = fnWrite(b);
  if (pFailure) *pFailure = b.m_sFailure;
  buf.resize(n);
  return buf;
}

// Decodes from an exactly sized copy, so reads past the payload are caught.
template <class F>
int Decode(const std::vector<uint8_t>& bytes, F fnRead) {
  std::vector<uint8_t> exact(bytes);
  stRecordBuffer b(exact.data(), uint32_t(exact.size()));
  return fnRead(b);
}

CPerson FullPerson() {
  CPerson p;
  p.m_nSequence = 17;
  p.m_cFlag = 3;
  p.m_nCode = 0x01000005;
  p.m_cType = 'P';
  p.m_cStatus = 'D';
  p.m_nDependentOn = 0x01000002;
  p.m_sLastName = "M\xC3\xBCller";
  p.m_sFirstName = "\xC5\x81ukasz";
  p.m_sAddress1 = "12 Elm Street";
  p.m_sAddress2 = "Apt 4";
  p.m_sCity = "Springfield";
  p.m_sState = "IL";
  p.m_sZip = "62704";
  p.m_sCountry = "USA";
  p.m_sHomePhone = "217-555-0101";
  p.m_sWorkPhone = "217-555-0102";
  p.m_sCellPhone = "217-555-0103";
  p.m_sFax = "217-555-0104";
  p.m_sEmail = "lukasz@example.com";
  p.m_saComments = {"first line", "", "third line"};
  p.m_naCategories = {7, 3};
  return p;
}

}  // namespace

TEST(RecordTypes, CategoryLayoutAndRoundTrip) {
  CCategory c;
  EXPECT_EQ(c.m_nSequence, DB_NONE);
  EXPECT_EQ(c.m_nCode, DB_NONE);
  c.m_nSequence = 2;
  c.m_nCode = 9;
  c.m_cFlag = 1;
  c.m_sName = "Clients";
  const auto bytes = Encode([&](stRecordBuffer& b) { return c.LoadBufferCategory(b); });
  EXPECT_EQ(bytes, CRawPayload().U32(2).U32(9).U8(1).Str("Clients").Bytes());
  CCategory back;
  ASSERT_EQ(Decode(bytes, [&](stRecordBuffer& b) { return back.ReadBufferCategory(b); }), 1);
  EXPECT_EQ(back, c);
  CCategory copy;
  copy.CopyCategory(c);
  EXPECT_EQ(copy, c);
  copy.m_sName = "Other";
  EXPECT_FALSE(copy == c);
}

TEST(RecordTypes, PersonLayoutAndRoundTrip) {
  const CPerson p = FullPerson();
  const auto bytes = Encode([&](stRecordBuffer& b) { return p.LoadBufferPerson(b); });
  CRawPayload want;
  want.U32(17).U8(3).U32(0x01000005).U8('P').U8('D').U32(0x01000002);
  want.Str("M\xFCller").Str("\xC5\x81ukasz").Str("12 Elm Street").Str("Apt 4").Str("Springfield");
  want.Str("IL").Str("62704").Str("USA").Str("217-555-0101").Str("217-555-0102");
  want.Str("217-555-0103").Str("217-555-0104").Str("lukasz@example.com");
  want.U32(3).Str("first line").Str("").Str("third line");
  want.U32Array({7, 3});
  EXPECT_EQ(bytes, want.Bytes());
  CPerson back;
  ASSERT_EQ(Decode(bytes, [&](stRecordBuffer& b) { return back.ReadBufferPerson(b); }), 1);
  EXPECT_EQ(back, p);
  EXPECT_TRUE(back.IsCategorySelected(3));
  EXPECT_FALSE(back.IsCategorySelected(4));
  EXPECT_FALSE(CPerson().IsCategorySelected(0));

  CPerson d;
  EXPECT_EQ(d.m_cType, 'P');
  EXPECT_EQ(d.m_cStatus, 'A');
  EXPECT_EQ(d.m_nDependentOn, DB_NONE);
  d.m_nDependentOn = 4;
  d.SetStatus('D');
  EXPECT_EQ(d.m_nDependentOn, 4u);
  d.SetStatus(0);
  EXPECT_EQ(d.m_nDependentOn, DB_NONE);
}

TEST(RecordTypes, PersonTooBigForTheRecordIsRefusedAndKeptInMemory) {
  CPerson p = FullPerson();
  p.m_saComments.assign(40, std::string(2000, 'c'));  // about 80 KB
  std::string sWhy;
  const auto bytes = Encode([&](stRecordBuffer& b) { return p.LoadBufferPerson(b); }, &sWhy);
  EXPECT_TRUE(bytes.empty());
  EXPECT_NE(sWhy.find("comments"), std::string::npos) << sWhy;
  EXPECT_EQ(p.m_saComments.size(), 40u);

  p.m_saComments = {std::string(4096, 'x')};
  Encode([&](stRecordBuffer& b) { return p.LoadBufferPerson(b); }, &sWhy);
  EXPECT_NE(sWhy.find("String too big, length 4097, in field \"comments\""), std::string::npos) << sWhy;
  EXPECT_EQ(p.m_saComments[0].size(), 4096u);
}

TEST(RecordTypes, ScheduleLayoutRoundTripAndOlderVersions) {
  CScheduleRecord s;
  EXPECT_EQ(s.m_cVersion, 4);
  EXPECT_EQ(s.m_cRepeatType, 'U');
  EXPECT_EQ(s.m_nDayCount, 1);
  s.m_nSequence = 4;
  s.m_nCode = 0x01000010;
  s.m_sDescription = "Dentist";
  s.m_cRepeatType = 'D';
  s.m_dStart = 45000.5;
  s.m_nEndDateSet = 1;
  s.m_dEnd = 45100.0;
  s.m_nAlarmEnabled = 1;
  s.m_nAlarmUser = 3;
  s.m_nHoursBefore = 2;
  s.m_dAlarmDone = 44999.25;
  s.m_nContact = 0x01000001;
  s.m_nDayCount = 14;
  s.m_naCategories = {5};
  s.m_daDates = {45000.5};  // expanded dates are not stored
  const auto bytes = Encode([&](stRecordBuffer& b) { return s.LoadBufferSchedule(b); });
  CRawPayload want;
  want.U32(4).U8(4).U32(0x01000010).Str("Dentist").U8('D').F64(45000.5).U32(1).F64(45100.0);
  want.U32(1).U32(3).U32(2).F64(44999.25).U32(0x01000001).U32(14).U32Array({5});
  EXPECT_EQ(bytes, want.Bytes());
  CScheduleRecord back;
  ASSERT_EQ(Decode(bytes, [&](stRecordBuffer& b) { return back.ReadBufferSchedule(b); }), 1);
  back.m_daDates = s.m_daDates;
  EXPECT_EQ(back, s);

  // Version 0: no alarm enabled, alarm done, contact or day count.
  CRawPayload v0;
  v0.U32(1).U8(0).U32(77).Str("Old item").U8('W').F64(40000.0).U32(0).F64(0.0);
  v0.U32(DB_NONE).U32(5).U32Array({2, 9});
  CScheduleRecord old;
  ASSERT_EQ(Decode(v0.Bytes(), [&](stRecordBuffer& b) { return old.ReadBufferSchedule(b); }), 1);
  EXPECT_EQ(old.m_nAlarmEnabled, 0);
  EXPECT_EQ(old.m_dAlarmDone, 0.0);
  EXPECT_EQ(old.m_nContact, DB_NONE);
  EXPECT_EQ(old.m_nDayCount, 1);
  EXPECT_EQ(old.m_nHoursBefore, 5);
  EXPECT_EQ(old.m_naCategories, (std::vector<uint32_t>{2, 9}));
  EXPECT_EQ(old.m_cVersion, 4);
  const auto rewritten = Encode([&](stRecordBuffer& b) { return old.LoadBufferSchedule(b); });
  ASSERT_FALSE(rewritten.empty());
  EXPECT_EQ(rewritten[4], 4);  // written back as version 4 with all fifteen fields
  EXPECT_EQ(rewritten.size(), v0.Size() + 4 + 8 + 4 + 4);

  // Versions 1 to 3 each add one field.
  CRawPayload v3;
  v3.U32(1).U8(3).U32(78).Str("v3").U8('O').F64(1.0).U32(0).F64(0.0);
  v3.U32(1).U32(2).U32(6).F64(3.5).U32(44).U32Array({});
  CScheduleRecord r3;
  ASSERT_EQ(Decode(v3.Bytes(), [&](stRecordBuffer& b) { return r3.ReadBufferSchedule(b); }), 1);
  EXPECT_EQ(r3.m_nAlarmEnabled, 1);
  EXPECT_EQ(r3.m_dAlarmDone, 3.5);
  EXPECT_EQ(r3.m_nContact, 44u);
  EXPECT_EQ(r3.m_nDayCount, 1);
  CRawPayload v1;
  v1.U32(1).U8(1).U32(79).Str("v1").U8('O').F64(1.0).U32(0).F64(0.0);
  v1.U32(2).U32(6).F64(3.5).U32Array({});
  CScheduleRecord r1;
  ASSERT_EQ(Decode(v1.Bytes(), [&](stRecordBuffer& b) { return r1.ReadBufferSchedule(b); }), 1);
  EXPECT_EQ(r1.m_nAlarmEnabled, 0);
  EXPECT_EQ(r1.m_nAlarmUser, 2u);
  EXPECT_EQ(r1.m_dAlarmDone, 3.5);
}

TEST(RecordTypes, NewerVersionsLoadButAreNeverRewritten) {
  CRawPayload v5;
  v5.U32(1).U8(5).U32(80).Str("From the future").U8('O').F64(1.0).U32(0).F64(0.0);
  v5.U32(0).U32(2).U32(0).F64(0.0).U32(DB_NONE).U32(1).U32Array({4}).U32(0xABCD);
  CScheduleRecord s;
  ASSERT_EQ(Decode(v5.Bytes(), [&](stRecordBuffer& b) { return s.ReadBufferSchedule(b); }), 1);
  EXPECT_EQ(s.m_sDescription, "From the future");
  EXPECT_EQ(s.m_naCategories, (std::vector<uint32_t>{4}));
  EXPECT_TRUE(s.IsFromNewerVersion());
  std::string sWhy;
  EXPECT_TRUE(Encode([&](stRecordBuffer& b) { return s.LoadBufferSchedule(b); }, &sWhy).empty());
  EXPECT_NE(sWhy.find("newer version"), std::string::npos);

  CRawPayload l2;
  l2.U32(0).U8(2).U32(81).U8(0).U8(255).U32(DB_NONE).Str("Note").F64(2.0).U32Array({}).U8(9);
  CLogRecord l;
  ASSERT_EQ(Decode(l2.Bytes(), [&](stRecordBuffer& b) { return l.ReadBufferLog(b); }), 1);
  EXPECT_TRUE(l.IsFromNewerVersion());
  EXPECT_TRUE(Encode([&](stRecordBuffer& b) { return l.LoadBufferLog(b); }, &sWhy).empty());
  EXPECT_NE(sWhy.find("Log entry \"Note\""), std::string::npos) << sWhy;
}

TEST(RecordTypes, LogLayoutRoundTripAndVersionZero) {
  CLogRecord fresh;
  EXPECT_GT(fresh.m_dDate, 40000.0);  // dated now
  EXPECT_EQ(fresh.m_cSender, 255);
  CLogRecord l(45001.25);
  l.m_nSequence = 8;
  l.m_nCode = 0x02000001;
  l.m_cKind = CLogRecord::KIND_UNREAD_MESSAGE;
  l.m_cSender = 2;
  l.m_nContact = 3;
  l.m_sText = "Call back";
  l.m_naCategories = {1, 2, 3};
  const auto bytes = Encode([&](stRecordBuffer& b) { return l.LoadBufferLog(b); });
  CRawPayload want;
  want.U32(8).U8(1).U32(0x02000001).U8(1).U8(2).U32(3).Str("Call back").F64(45001.25).U32Array({1, 2, 3});
  EXPECT_EQ(bytes, want.Bytes());
  CLogRecord back(0.0);
  ASSERT_EQ(Decode(bytes, [&](stRecordBuffer& b) { return back.ReadBufferLog(b); }), 1);
  EXPECT_EQ(back, l);

  CRawPayload v0;
  v0.U32(2).U8(0).U32(12).U32(0x01000001).Str("Met at fair").F64(39000.5).U32Array({6});
  CLogRecord old(0.0);
  ASSERT_EQ(Decode(v0.Bytes(), [&](stRecordBuffer& b) { return old.ReadBufferLog(b); }), 1);
  EXPECT_EQ(old.m_cKind, 0);
  EXPECT_EQ(old.m_cSender, 255);
  EXPECT_EQ(old.m_nContact, 0x01000001u);
  EXPECT_EQ(old.m_sText, "Met at fair");
  EXPECT_EQ(old.m_dDate, 39000.5);
  const auto rewritten = Encode([&](stRecordBuffer& b) { return old.LoadBufferLog(b); });
  EXPECT_EQ(rewritten.size(), v0.Size() + 2);
  EXPECT_EQ(rewritten[4], 1);
  EXPECT_EQ(CLogRecord::KindFromToken('M'), 1);
  EXPECT_EQ(CLogRecord::KindFromToken('N'), 3);
  EXPECT_EQ(CLogRecord::KindFromToken('E'), 0);
}

TEST(RecordTypes, SettingsRecordsLayout) {
  CConFigTable cfg;
  EXPECT_EQ(Encode([&](stRecordBuffer& b) { return cfg.LoadBufferConFig(b); }),
            (std::vector<uint8_t>{0, 0, 0, 0}));
  const auto old = CRawPayload().U32(2).Str("KEY|value").Str("OTHER|1|2").Bytes();
  ASSERT_EQ(Decode(old, [&](stRecordBuffer& b) { return cfg.ReadBufferConFig(b); }), 1);
  EXPECT_EQ(cfg.m_saStrings.size(), 2u);

  stVarData v;
  v.m_nStartHour = 9;
  v.m_nAlarmWindow = 30;
  auto bytes = Encode([&](stRecordBuffer& b) { return CVarData::LoadBufferVarData(v, b); });
  ASSERT_EQ(bytes.size(), 1024u);
  CRawPayload want;
  want.Zeros(256).U32(1).U32(10).U32(9).U32(0).U32(14).U32(60).U32(30).Zeros(740);
  EXPECT_EQ(bytes, want.Bytes());
  stVarData back;
  back.m_nBackupFiles = 3;
  ASSERT_EQ(Decode(bytes, [&](stRecordBuffer& b) { return CVarData::ReadBufferVarData(back, b); }), 1);
  EXPECT_EQ(back, v);
  bytes.resize(1000);  // a short block fails and changes nothing
  stVarData untouched;
  untouched.m_nStartHour = 12;
  EXPECT_EQ(Decode(bytes, [&](stRecordBuffer& b) { return CVarData::ReadBufferVarData(untouched, b); }), 0);
  EXPECT_EQ(untouched.m_nStartHour, 12);

  const stFormatRecord f = CFormatRecord::DefaultFormat(8);
  bytes = Encode([&](stRecordBuffer& b) { return CFormatRecord::LoadBufferFormatRecord(f, b); });
  CRawPayload wantF;
  wantF.FontBlock(8, "Times New Roman", 90, 1.0f, 0, 0, 0, 0, 0, 0, 0);
  wantF.F64Array({0.802, 3.208, 4.396, 5.5});
  EXPECT_EQ(bytes, wantF.Bytes());
  stFormatRecord fBack;
  ASSERT_EQ(Decode(bytes, [&](stRecordBuffer& b) { return CFormatRecord::ReadBufferFormatRecord(fBack, b); }), 1);
  EXPECT_EQ(fBack, f);

  const stPageLayout l = CPageLayout::DefaultLayout(1);
  bytes = Encode([&](stRecordBuffer& b) { return CPageLayout::LoadBufferPageLayout(l, b); });
  CRawPayload wantL;
  wantL.U32(1).F32(0.5f).F32(0.75f).F32(0.75f).U32(1).U32(0);
  wantL.FontBlock(0, "Courier New", 100, 1.0f, 0, 0, 0, 0, 0, 1, 0).U32(0);
  EXPECT_EQ(bytes, wantL.Bytes());
  stPageLayout lBack;
  ASSERT_EQ(Decode(bytes, [&](stRecordBuffer& b) { return CPageLayout::ReadBufferPageLayout(lBack, b); }), 1);
  EXPECT_EQ(lBack, l);
}

TEST(RecordTypes, DefaultFormatsAndLayouts) {
  EXPECT_STREQ(CFormatRecord::FormatName(0), "Default");
  EXPECT_STREQ(CFormatRecord::FormatName(11), "Label printer");
  EXPECT_EQ(CFormatRecord::DefaultFormat(0).m_sFaceName, "Courier New");
  EXPECT_EQ(CFormatRecord::DefaultFormat(3).m_bBold, 1);
  EXPECT_EQ(CFormatRecord::DefaultFormat(4).m_daTabStops, (std::vector<double>{4.75, 6.0}));
  EXPECT_EQ(CFormatRecord::DefaultFormat(9).m_daTabStops, (std::vector<double>{1.0, 3.0}));
  EXPECT_EQ(CFormatRecord::DefaultFormat(10).m_nSize, 120u);
  EXPECT_EQ(CFormatRecord::DefaultFormat(11).m_nSize, 200u);
  const stPageLayout l2 = CPageLayout::DefaultLayout(2);
  EXPECT_EQ(l2.m_fLeftMargin, 0.0f);
  EXPECT_EQ(l2.m_nPageFlag, 0u);
  EXPECT_EQ(l2.m_stPageFont.m_bCenter, 1);
  EXPECT_EQ(l2.m_stPageFont.m_nSize, 100u);
}

TEST(RecordTypes, ForeignSettingsAreBroughtIntoShape) {
  // A format with key 4 stored as code 40, a face without NUL, size 0, a
  // NaN height scale and a negative tab stop.
  CRawPayload p;
  p.FontBlock(40, std::string(32, 'F'), 0, std::numeric_limits<float>::quiet_NaN(), 0, 1, 0, 0, 0, 0, 0);
  p.F64Array({-1.0, 2.0});
  stFormatRecord f;
  ASSERT_EQ(Decode(p.Bytes(), [&](stRecordBuffer& b) { return CFormatRecord::ReadBufferFormatRecord(f, b); }), 1);
  EXPECT_EQ(f.m_sFaceName, std::string(32, 'F'));
  CFormatRecord::Sanitize(f, 4);
  EXPECT_EQ(f.m_nCode, 4u);
  EXPECT_EQ(f.m_nSize, 90u);
  EXPECT_EQ(f.m_fHeightScale, 1.0f);
  EXPECT_EQ(f.m_daTabStops, (std::vector<double>{4.75, 6.0}));
  EXPECT_EQ(f.m_bBold, 1);
  // Written back, the face is cut to the field with its NUL.
  const auto bytes = Encode([&](stRecordBuffer& b) { return CFormatRecord::LoadBufferFormatRecord(f, b); });
  EXPECT_EQ(bytes[4 + 31], 0);
  EXPECT_EQ(bytes[4 + 30], 'F');

  // A format block cut short fails.
  auto shortBlock = p.Bytes();
  shortBlock.resize(50);
  EXPECT_EQ(Decode(shortBlock, [&](stRecordBuffer& b) { return CFormatRecord::ReadBufferFormatRecord(f, b); }), 0);

  stPageLayout l = CPageLayout::DefaultLayout(0);
  l.m_fLeftMargin = -3.0f;
  l.m_fTopMargin = std::numeric_limits<float>::quiet_NaN();
  l.m_fBottomMargin = 1.25f;
  l.m_stPageFont.m_nSize = 0;
  CPageLayout::Sanitize(l, 1);
  EXPECT_EQ(l.m_nCode, 1u);
  EXPECT_EQ(l.m_fLeftMargin, 0.5f);
  EXPECT_EQ(l.m_fTopMargin, 0.75f);
  EXPECT_EQ(l.m_fBottomMargin, 1.25f);
  EXPECT_EQ(l.m_stPageFont.m_nSize, 100u);

  stVarData v;
  v.m_nStartHour = 0;
  v.m_nAlarmTestSeconds = 0;
  v.m_nMinutesPerIncrement = 500;
  v.m_nBackupFiles = -1;
  CVarData::ApplyLimits(v);
  EXPECT_EQ(v.m_nStartHour, 8);
  EXPECT_EQ(v.m_nAlarmTestSeconds, 0);
  EXPECT_EQ(v.m_nMinutesPerIncrement, 60);
  EXPECT_EQ(v.m_nBackupFiles, 10);
}

TEST(RecordTypes, RandomAndTruncatedPayloadsNeverCrash) {
  const CPerson p = FullPerson();
  const auto good = Encode([&](stRecordBuffer& b) { return p.LoadBufferPerson(b); });
  // Every truncation of a good record fails cleanly and leaves the target alone.
  for (size_t n = 0; n < good.size(); ++n) {
    std::vector<uint8_t> cut(good.begin(), good.begin() + long(n));
    CPerson target;
    target.m_sLastName = "unchanged";
    EXPECT_EQ(Decode(cut, [&](stRecordBuffer& b) { return target.ReadBufferPerson(b); }), 0) << n;
    EXPECT_EQ(target.m_sLastName, "unchanged");
  }
  std::mt19937 rng(12345);
  for (int i = 0; i < 3000; ++i) {
    std::vector<uint8_t> bytes(rng() % 200);
    for (auto& c : bytes) c = uint8_t(rng() % 4 == 0 ? 0xFF : rng());
    CCategory c;
    CPerson pe;
    CScheduleRecord s;
    CLogRecord l(0.0);
    stFormatRecord f;
    stPageLayout pl;
    stVarData v;
    CConFigTable cfg;
    Decode(bytes, [&](stRecordBuffer& b) { return c.ReadBufferCategory(b); });
    if (Decode(bytes, [&](stRecordBuffer& b) { return pe.ReadBufferPerson(b); })) {
      EXPECT_LE(pe.m_saComments.size() + pe.m_naCategories.size(), bytes.size() / 4);
    }
    if (Decode(bytes, [&](stRecordBuffer& b) { return s.ReadBufferSchedule(b); })) {
      EXPECT_LE(s.m_naCategories.size(), bytes.size() / 4);
    }
    Decode(bytes, [&](stRecordBuffer& b) { return l.ReadBufferLog(b); });
    if (Decode(bytes, [&](stRecordBuffer& b) { return CFormatRecord::ReadBufferFormatRecord(f, b); })) {
      EXPECT_LE(f.m_daTabStops.size(), bytes.size() / 8);
    }
    Decode(bytes, [&](stRecordBuffer& b) { return CPageLayout::ReadBufferPageLayout(pl, b); });
    Decode(bytes, [&](stRecordBuffer& b) { return CVarData::ReadBufferVarData(v, b); });
    Decode(bytes, [&](stRecordBuffer& b) { return cfg.ReadBufferConFig(b); });
  }
}

namespace {

// The in-place decoder of a load gives what the copying decoder gives, on
// the whole payload and on every truncation of it.
template <class T>
void ExpectInPlaceDecodingAsCopying(const std::vector<uint8_t>& good, const T& blank,
                                    int (T::*pCopying)(stRecordBuffer&), int (T::*pInPlace)(stRecordBuffer&)) {
  for (size_t n = 0; n <= good.size(); ++n) {
    const std::vector<uint8_t> cut(good.begin(), good.begin() + long(n));
    T copied = blank, inPlace = blank;
    const int nCopied = Decode(cut, [&](stRecordBuffer& b) { return (copied.*pCopying)(b); });
    ASSERT_EQ(Decode(cut, [&](stRecordBuffer& b) { return (inPlace.*pInPlace)(b); }), nCopied) << n;
    EXPECT_EQ(nCopied, n == good.size() ? 1 : 0) << n;
    if (nCopied) {
      EXPECT_EQ(inPlace, copied);
    }
  }
}

}  // namespace

TEST(RecordTypes, InPlaceDecodingOfALoadMatchesTheCopyingDecoders) {
  const CPerson p = FullPerson();  // with text that is stored converted
  ExpectInPlaceDecodingAsCopying(Encode([&](stRecordBuffer& b) { return p.LoadBufferPerson(b); }), CPerson(),
                                 &CPerson::ReadBufferPerson, &CPerson::ReadBufferPersonInPlace);
  CRawPayload schedule4, schedule1;
  schedule4.U32(4).U8(4).U32(0x01000010).Str("Dentist").U8('D').F64(45000.5).U32(1).F64(45100.0);
  schedule4.U32(1).U32(3).U32(2).F64(44999.25).U32(0x01000001).U32(14).U32Array({5});
  schedule1.U32(4).U8(1).U32(0x01000011).Str("Old").U8('O').F64(45000.5).U32(0).F64(0.0);
  schedule1.U32(3).U32(2).F64(44999.25).U32Array({5, 6});
  for (const CRawPayload* pPayload : {&schedule4, &schedule1})
    ExpectInPlaceDecodingAsCopying(pPayload->Bytes(), CScheduleRecord(), &CScheduleRecord::ReadBufferSchedule,
                                   &CScheduleRecord::ReadBufferScheduleInPlace);
  CRawPayload log1, log0;
  log1.U32(8).U8(1).U32(0x02000001).U8(1).U8(2).U32(3).Str("Call back").F64(45001.25).U32Array({1, 2, 3});
  log0.U32(9).U8(0).U32(0x02000002).U32(4).Str("Old note").F64(0.0).U32Array({});
  for (const CRawPayload* pPayload : {&log1, &log0})
    ExpectInPlaceDecodingAsCopying(pPayload->Bytes(), CLogRecord(0.0), &CLogRecord::ReadBufferLog,
                                   &CLogRecord::ReadBufferLogInPlace);
}
