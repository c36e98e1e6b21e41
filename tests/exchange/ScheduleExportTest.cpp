// The vCalendar 1.0 export of schedule items written by kelvotool from a
// real database file and read back by an independent reader: the structure,
// the rule grammar, the summaries decoded exactly, and a year of occurrences
// expanded from the exported rules against the program's own expansion.

#include <gtest/gtest.h>

#include "common/TestCommon.h"
#include "data/CDatabase.h"
#include "data/DemoData.h"
#include "exchange/CScheduleExport.h"
#include "schedule/OleDate.h"
#include "schedule/Recurrence.h"
#include "support/FileUtil.h"

namespace {

CScheduleRecord Item(const char* pText, char cType, double dStart) {
  CScheduleRecord s;
  s.m_sDescription = pText;
  s.m_cRepeatType = cType;
  s.m_dStart = dStart;
  return s;
}

// One item of every repeat type; the summaries hold "=", "é", ";", line
// breaks and a text that would end the event if it were written as it is.
std::vector<CScheduleRecord> TestItems() {
  std::vector<CScheduleRecord> a = {
      Item("Lunch = food", 'O', MakeOleDate(2024, 3, 5, 12, 30)),
      Item("Pills \xC3\xA9t\xC3\xA9", 'D', MakeOleDate(2024, 1, 2, 8, 0)),
      Item("Stand-up\r\nEND:VEVENT\r\nBEGIN:VEVENT", 'W', MakeOleDate(2024, 1, 3, 9, 0)),
      Item("Rent =3D; paid", 'M', MakeOleDate(2024, 1, 15, 9, 0)),
      Item("Club\nsecond Tuesday", 'm', MakeOleDate(2024, 1, 9, 19, 0)),
      Item("Birthday of Ren\xC3\xA9: a long summary that has to be folded over more than one line of the "
           "file, caf\xC3\xA9 included",
           'Y', MakeOleDate(2024, 2, 10, 0, 0)),
      Item("Someday", 'U', 0.0),
  };
  a[1].m_nDayCount = 3;
  a[2].m_nEndDateSet = 1;  // the last occurrence falls exactly on the end
  a[2].m_dEnd = MakeOleDate(2024, 6, 26, 9, 0);
  a[3].m_nEndDateSet = 1;
  a[3].m_dEnd = MakeOleDate(2024, 10, 20, 0, 0);
  a[0].m_nEndDateSet = 1;  // no end for a one-time item
  a[0].m_dEnd = MakeOleDate(2024, 1, 1);
  return a;
}

void MakeDatabase(const std::string& sRoot, const std::vector<CScheduleRecord>& items) {
  CDatabase db;
  ASSERT_TRUE(db.OpenDatabase(sRoot, 0) && db.LockDatabase("test"));
  for (size_t i = items.size(); i-- > 0;)  // out of the view's order
    ASSERT_TRUE(AppendGeneratedItem(db, TABLE_SCHEDULE, std::make_unique<CScheduleRecord>(items[i])));
  db.UnlockDatabase();
  db.CloseDatabase();
}

constexpr const char* kStamp = "%Y%m%dT%H%M%S";

// The program's own occurrences of an item in the window, as the reader prints them.
std::string ProgramOccurrences(const CScheduleRecord& item, double dFrom, double dTo) {
  stRecurrence rec{item.m_cRepeatType, item.m_dStart, item.m_nEndDateSet, item.m_dEnd, item.m_nDayCount};
  std::vector<double> da;
  ExpandRecurrence(rec, dFrom, dTo, false, da);
  std::string s;
  for (const double d : da) s += (s.empty() ? "" : ",") + FormatDateTime(d, kStamp);
  return s;
}

}  // namespace

TEST(ScheduleExport, ToolExportReadsBackWithTheProgramsOccurrences) {
  CScratchFolder folder;
  CTestUi ui;
  const std::vector<CScheduleRecord> a = TestItems();
  MakeDatabase(folder.File("plan"), a);
  const std::string sOut = folder.File("plan.vcs");
  std::string sSaid;
  ASSERT_EQ(RunCommand(std::string(KELVOTOOL_PATH) + " export '" + folder.File("plan.dbm") +
                           "' schedule --format vcs --out '" + sOut + "' 2>/dev/null",
                       &sSaid),
            0);
  EXPECT_EQ(sSaid, "6 schedule items written to " + sOut + "\n");

  const double dFrom = MakeOleDate(2024, 1, 1), dTo = MakeOleDate(2024, 12, 31, 23, 59, 59);
  std::string sRead;
  ASSERT_EQ(RunCommand("/usr/bin/python3 " KELVO_SOURCE_DIR "/tests/exchange/parse_vcal.py '" + sOut +
                           "' 20240101T000000 20241231T235959",
                       &sRead),
            0);
  std::vector<std::string> saEvents = SplitAt(sRead, '\x1e');
  saEvents.pop_back();  // after the last event
  // The view's order: one-time, every N days, weekly, monthly by date and by day, yearly; no 'U'.
  const std::vector<std::string> saRules = {
      "-", "D3 #0", "W1 WE 20240626T090000", "MD1 20241020T000000", "MP1 2+ TU #0", "YM1 #0"};
  ASSERT_EQ(saEvents.size(), saRules.size());
  for (size_t i = 0; i < saEvents.size(); ++i) {
    const std::vector<std::string> sa = SplitAt(saEvents[i], '\x1f');
    ASSERT_EQ(sa.size(), 4u) << saEvents[i];
    EXPECT_EQ(sa[0], a[i].m_sDescription);
    EXPECT_EQ(sa[1], FormatDateTime(a[i].m_dStart, kStamp));
    EXPECT_EQ(sa[2], saRules[i]);
    EXPECT_EQ(sa[3], ProgramOccurrences(a[i], dFrom, dTo)) << sa[0];
  }
  // The weekly item's last day is kept: 26 weeks from January 3rd to June 26th.
  EXPECT_EQ(SplitAt(SplitAt(saEvents[2], '\x1f')[3], ',').size(), 26u);
  EXPECT_EQ(SplitAt(SplitAt(saEvents[1], '\x1f')[3], ',').size(), 122u);  // every 3rd day of 2024 from the 2nd
}

TEST(ScheduleExport, RulesLabelsAndTheBytesOfAnEvent) {
  CScheduleRecord s = Item("Tax", 'm', MakeOleDate(2024, 3, 29, 10, 15));  // the fifth Friday
  EXPECT_EQ(CScheduleExport::RepeatRule(s), "MP1 5+ FR #0");
  s.m_cRepeatType = 'D';
  s.m_nDayCount = 0;  // expanded as a one-time item, so written without a rule
  EXPECT_EQ(CScheduleExport::RepeatRule(s), "");
  s.m_nDayCount = 14;
  s.m_nEndDateSet = 1;
  s.m_dEnd = MakeOleDate(2024, 12, 31, 23, 59, 30);
  EXPECT_EQ(CScheduleExport::RepeatRule(s), "D14 20241231T235930");
  EXPECT_EQ(CScheduleExport::Text({&s}),
            "BEGIN:VCALENDAR\r\nPRODID:Kelvo generated\r\nVERSION:1.0\r\n"
            "BEGIN:VEVENT\r\nDTSTART:20240329T101500\r\nDTEND:20240329T101500\r\n"
            "RRULE:D14 20241231T235930\r\nSUMMARY;ENCODING=QUOTED-PRINTABLE:Tax\r\n"
            "PRIORITY:1\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n");
  s.m_sDescription = "caf\xC3\xA9 = 1\r\n";
  EXPECT_NE(CScheduleExport::Text({&s}).find(
                "SUMMARY;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:caf=C3=A9 =3D 1=0D=0A\r\n"),
            std::string::npos);
  EXPECT_EQ(CScheduleExport::ChoiceText(s), "Daily: " + s.m_sDescription);
  // Unscheduled items, and items without a real start or end, are never written.
  EXPECT_TRUE(CScheduleExport::IsExportable(s));
  s.m_dEnd = OLE_DATE_INVALID;
  EXPECT_FALSE(CScheduleExport::IsExportable(s));
  s.m_nEndDateSet = 0;
  EXPECT_TRUE(CScheduleExport::IsExportable(s));
  s.m_dStart = -2.0;
  EXPECT_FALSE(CScheduleExport::IsExportable(s));
  CScheduleRecord u = Item("Someday", 'U', MakeOleDate(2024, 1, 1));
  EXPECT_FALSE(CScheduleExport::IsExportable(u));
  EXPECT_EQ(CScheduleExport::Text({&u, &s, nullptr}),
            "BEGIN:VCALENDAR\r\nPRODID:Kelvo generated\r\nVERSION:1.0\r\nEND:VCALENDAR\r\n");
  const char* const kLabels[] = {"One time",      "Daily",  "Weekly",     "Monthly (date)",
                                 "Monthly (day)", "Yearly", "Unscheduled"};
  for (size_t i = 0; i < 7; ++i) EXPECT_EQ(CScheduleExport::TypeLabel("ODWMmYU"[i]), kLabels[i]);
  EXPECT_EQ(CScheduleExport::TypeLabel('x'), "");
}

TEST(ScheduleExport, ToolRefusesWhatItCannotDo) {
  CScratchFolder folder;
  CTestUi ui;
  MakeDatabase(folder.File("plan"), TestItems());
  const std::string sPlan =
      std::string(KELVOTOOL_PATH) + " export '" + folder.File("plan.dbm") + "' schedule";
  std::string sOut;
  EXPECT_NE(RunCommand(sPlan + " --format vcard21 2>&1", &sOut), 0);
  EXPECT_NE(sOut.find("kelvotool export FILE schedule --format vcs"), std::string::npos) << sOut;
  EXPECT_NE(RunCommand(sPlan + " --format vcs --category Nobody 2>&1", &sOut), 0);
  EXPECT_NE(sOut.find("no category 'Nobody'"), std::string::npos) << sOut;
  EXPECT_NE(RunCommand(sPlan + " --format vcs --out /dev/full 2>&1", &sOut), 0);
  EXPECT_NE(sOut.find("could not be written"), std::string::npos) << sOut;
  // To standard output, the same bytes as the file.
  ASSERT_EQ(RunCommand(sPlan + " --format vcs 2>/dev/null", &sOut), 0);
  ASSERT_EQ(RunCommand(sPlan + " --format vcs --out '" + folder.File("a.vcs") + "' >/dev/null 2>&1"), 0);
  std::string sFile;
  ASSERT_TRUE(ReadWholeFile(folder.File("a.vcs"), sFile));
  EXPECT_EQ(sOut, sFile);
}
