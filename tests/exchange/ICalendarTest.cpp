// The iCalendar export and import of schedule items through kelvotool and a
// real database file, checked against an independent reader
// (python3-icalendar, with python3-dateutil expanding the rules): every field
// survives, each rule expands to the program's own dates over a year, hand-
// made rules import as the right repeat type, and rules the repeat types
// cannot say are reported and not imported.

#include <gtest/gtest.h>

#include <map>
#include <tuple>

#include "common/TestCommon.h"
#include "data/CDatabase.h"
#include "data/DemoData.h"
#include "schedule/OleDate.h"
#include "schedule/Recurrence.h"
#include "support/FileUtil.h"

namespace {

constexpr const char* kStamp = "%Y%m%dT%H%M%S";
const std::string kTool = KELVOTOOL_PATH;
// A summary longer than a line, with two-byte and three-byte characters.
const std::string kLong =
    "Caf\xC3\xA9 with Ren\xC3\xA9"
    "e, Bj\xC3\xB6rk; and \xE2\x82\xAC 5 \\ a summary "
    "that is folded over more than one line of the file";

CScheduleRecord Item(const std::string& sText, char cType, double dStart, double dEnd = 0.0) {
  CScheduleRecord s;
  s.m_sDescription = sText;
  s.m_cRepeatType = cType;
  s.m_dStart = dStart;
  s.m_nEndDateSet = dEnd != 0.0;
  s.m_dEnd = dEnd;
  return s;
}

// The reader's records of a file, each split into its fields.
std::vector<std::vector<std::string>> ReadBack(const std::string& sFile) {
  std::string sOut;
  EXPECT_EQ(RunCommand("/usr/bin/python3 " KELVO_SOURCE_DIR "/tests/exchange/read_ics.py '" + sFile +
                           "' 20240101T000000 20241231T235959",
                       &sOut),
            0)
      << sOut;
  std::vector<std::vector<std::string>> records;
  for (const std::string& s : SplitAt(sOut, '\x1e'))
    if (!s.empty()) records.push_back(SplitAt(s, '\x1f'));
  return records;
}

std::string Occurrences(const CScheduleRecord& s) {
  std::vector<double> da;
  ExpandRecurrence({s.m_cRepeatType, s.m_dStart, s.m_nEndDateSet, s.m_dEnd, s.m_nDayCount},
                   MakeOleDate(2024, 1, 1), MakeOleDate(2024, 12, 31, 23, 59, 59), false, da);
  std::string sOut;
  for (const double d : da) sOut += (sOut.empty() ? "" : ",") + FormatDateTime(d, kStamp);
  return sOut;
}

// The schedule items of a database by description.
std::map<std::string, CScheduleRecord> Schedule(const std::string& sRoot) {
  CDatabase db;
  std::vector<std::string> saProblems;
  EXPECT_TRUE(db.OpenDatabaseForReading(sRoot, saProblems));
  std::map<std::string, CScheduleRecord> a;
  for (const stIndex& e : db.m_caScheduleIndex) {
    const auto& s = static_cast<const CScheduleRecord&>(*e.m_pItem);
    a[s.m_sDescription] = s;
  }
  return a;
}

}  // namespace

TEST(ICalendar, ExportReadsBackWithEveryFieldAndTheProgramsDates) {
  CScratchFolder folder;
  CTestUi ui;
  std::vector<CScheduleRecord> a = {
      Item("Lunch\nat noon", 'O', MakeOleDate(2024, 3, 5, 12, 30)),
      Item(kLong, 'D', MakeOleDate(2024, 1, 2, 8, 0)),
      Item("Stand-up", 'W', MakeOleDate(2024, 1, 3, 9, 0), MakeOleDate(2024, 6, 26, 9, 0)),
      Item("Rent", 'M', MakeOleDate(2024, 1, 15, 9, 0), MakeOleDate(2024, 10, 20, 23, 59, 59)),
      Item("Club", 'm', MakeOleDate(2024, 1, 9, 19, 0)),
      Item("Birthday", 'Y', MakeOleDate(2024, 2, 10, 0, 0)),
      Item("Someday", 'U', 0.0),
      Item("Month end", 'M', MakeOleDate(2024, 1, 31, 9, 0)),
  };
  a[1].m_nDayCount = 3;
  a[2].m_nAlarmEnabled = 1;
  a[2].m_nHoursBefore = 2;
  {
    CDatabase db;
    ASSERT_TRUE(db.OpenDatabase(folder.File("plan"), 0) && db.LockDatabase("test"));
    for (const char* p : {"Work", "Friends, family"}) {
      auto pCategory = std::make_unique<CCategory>();
      pCategory->m_sName = p;
      ASSERT_TRUE(AppendGeneratedItem(db, TABLE_CATEGORY, std::move(pCategory)));
    }
    a[2].m_naCategories = {db.m_caCategoryIndex[0].m_nCode, db.m_caCategoryIndex[1].m_nCode};
    for (const CScheduleRecord& s : a)
      ASSERT_TRUE(AppendGeneratedItem(db, TABLE_SCHEDULE, std::make_unique<CScheduleRecord>(s)));
    for (size_t i = 0; i < a.size(); ++i) a[i].m_nCode = db.m_caScheduleIndex[i].m_nCode;
    db.UnlockDatabase();
    db.CloseDatabase();
  }
  // Floating times, then Berlin time with its VTIMEZONE: the wall times are the same.
  for (const std::string sZone : {"", "Europe/Berlin"}) {
    const std::string sOut = folder.File("plan" + sZone.substr(0, 6) + ".ics");
    std::string sSaid;
    ASSERT_EQ(RunCommand(kTool + " export '" + folder.File("plan.dbm") + "' schedule --format ics --out '" +
                             sOut + "'" + (sZone.empty() ? "" : " --tz " + sZone) + " 2>&1",
                         &sSaid),
              0);
    EXPECT_NE(sSaid.find("not exactly: Month end: the file repeats on day 31 only"), std::string::npos)
        << sSaid;
    EXPECT_NE(sSaid.find("8 schedule items written"), std::string::npos) << sSaid;
    // The view's order is not the database's: the records by UID.
    std::map<std::string, std::vector<std::string>> records;
    for (const std::vector<std::string>& f : ReadBack(sOut))
      if (f.size() == 9u) records[f[1]] = f;
    ASSERT_EQ(records.size(), a.size());
    for (size_t i = 0; i < a.size(); ++i) {
      const std::vector<std::string>& f = records["kelvo-schedule-" + std::to_string(a[i].m_nCode) + "@plan"];
      ASSERT_EQ(f.size(), 9u) << a[i].m_sDescription;
      EXPECT_EQ(f[0], a[i].m_cRepeatType == 'U' ? "VTODO" : "VEVENT");
      EXPECT_EQ(f[2], a[i].m_sDescription.substr(0, a[i].m_sDescription.find('\n')));
      EXPECT_EQ(f[3], a[i].m_sDescription);
      EXPECT_EQ(f[4], i == 2 ? "Work,Friends, family" : "");
      EXPECT_EQ(f[5], a[i].m_cRepeatType == 'U' ? "-" : FormatDateTime(a[i].m_dStart, kStamp));
      EXPECT_EQ(f[7], i == 2 ? "2" : "-");
      const std::string sRules[] = {"-", "FREQ=DAILY;INTERVAL=3",  "",
                                    "",  "FREQ=MONTHLY;BYDAY=2TU", "FREQ=YEARLY"};
      if (i < 6 && !sRules[i].empty()) {
        EXPECT_EQ(f[6], sRules[i]);
      }
      // The noted rule skips the short months the program clamps to.
      if (i == 7)
        EXPECT_NE(f[8], Occurrences(a[i]));
      else
        EXPECT_EQ(f[8], Occurrences(a[i])) << f[2] << " " << f[6];
    }
    // Folded before 75 octets, never inside a character.
    std::string sText;
    ASSERT_TRUE(ReadWholeFile(sOut, sText));
    size_t nFolds = 0;
    for (const std::string& sLine : SplitAt(sText, '\n')) {
      EXPECT_LE(sLine.size(), 76u);  // CR included
      if (sLine.size() > 1 && sLine[0] == ' ') {
        ++nFolds;
        EXPECT_NE(static_cast<unsigned char>(sLine[1]) & 0xC0, 0x80) << sLine;
      }
    }
    EXPECT_GE(nFolds, 2u);
  }
  // Back into a new database: the same items, their categories found again by name.
  ASSERT_EQ(RunCommand(kTool + " create '" + folder.File("copy.dbm") + "' >/dev/null 2>&1"), 0);
  std::string sSaid;
  RunCommand(kTool + " import '" + folder.File("copy.dbm") + "' schedule '" + folder.File("plan.ics") +
                 "' 2>/dev/null",
             &sSaid);
  EXPECT_NE(sSaid.find("Imported 8 schedule items (1 not exactly); 0 not imported."), std::string::npos)
      << sSaid;
  std::map<std::string, CScheduleRecord> b = Schedule(folder.File("copy"));
  ASSERT_EQ(b.size(), a.size());
  for (const CScheduleRecord& s : a) {
    const CScheduleRecord& t = b[s.m_sDescription];
    EXPECT_EQ(t.m_cRepeatType, s.m_cRepeatType) << s.m_sDescription;
    EXPECT_EQ(Occurrences(t), Occurrences(s)) << s.m_sDescription;
    EXPECT_EQ(t.m_nAlarmEnabled, s.m_nAlarmEnabled);
    EXPECT_EQ(t.m_nHoursBefore, s.m_nHoursBefore);
    EXPECT_EQ(t.m_naCategories.size(), s.m_naCategories.size());
  }
  // Imported a second time, nothing is added twice.
  RunCommand(kTool + " import '" + folder.File("copy.dbm") + "' schedule '" + folder.File("plan.ics") +
                 "' 2>/dev/null",
             &sSaid);
  EXPECT_NE(sSaid.find("Imported 0 schedule items (0 not exactly); 0 not imported. 8 were in the schedule "
                       "already."),
            std::string::npos)
      << sSaid;
  CDatabase again;
  std::vector<std::string> saProblems;
  ASSERT_TRUE(again.OpenDatabaseForReading(folder.File("copy"), saProblems));
  EXPECT_EQ(again.m_caScheduleIndex.size(), a.size());
}

TEST(ICalendar, HandMadeRulesImportAsTheirTypesOrAreReported) {
  CScratchFolder folder;
  CTestUi ui;
  // SUMMARY, the rule (or a whole line for the refused ones), and the type it must give.
  const std::vector<std::tuple<std::string, std::string, char>> kEvents = {
      {"Every other day", "RRULE:FREQ=DAILY;INTERVAL=2", 'D'},
      {"Mondays", "RRULE:FREQ=WEEKLY;BYDAY=MO;UNTIL=20240601T235959", 'W'},
      {"Fortnight", "RRULE:FREQ=WEEKLY;INTERVAL=2", 'D'},
      {"Eighth", "RRULE:FREQ=MONTHLY;BYMONTHDAY=8;COUNT=5", 'M'},
      {"Second Monday", "RRULE:FREQ=MONTHLY;BYDAY=2MO;UNTIL=20240901T000000Z", 'm'},
      {"Anniversary", "RRULE:FREQ=YEARLY;BYMONTH=1;BYMONTHDAY=8", 'Y'},
      {"Once", "", 'O'},
      {"Set position", "RRULE:FREQ=MONTHLY;BYDAY=MO;BYSETPOS=-1", 0},
      {"Two days", "RRULE:FREQ=WEEKLY;BYDAY=MO,WE", 0},
      {"Hourly", "RRULE:FREQ=HOURLY", 0},
      {"Skipped", "RRULE:FREQ=DAILY\r\nEXDATE:20240110T090000", 0},
      {"Extra", "RDATE:20240301T090000", 0},
      {"Bimonthly", "RRULE:FREQ=MONTHLY;INTERVAL=2", 0},
  };
  std::string sIcs = "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//test//EN\r\n";
  for (const auto& [sSummary, sRule, cType] : kEvents)
    sIcs += "BEGIN:VEVENT\r\nUID:" + sSummary +
            "\r\nDTSTAMP:20240101T000000Z\r\nDTSTART:20240108T090000\r\n" +
            "DTEND:20240108T100000\r\nSUMMARY:" + sSummary + "\r\n" + (sRule.empty() ? "" : sRule + "\r\n") +
            "END:VEVENT\r\n";
  // An alarm in minutes and a day the program clamps: imported, but said to be inexact.
  sIcs +=
      "BEGIN:VEVENT\r\nUID:x\r\nDTSTAMP:20240101T000000Z\r\nDTSTART:20240131T080000\r\n"
      "SUMMARY:Month\r\n end\r\nRRULE:FREQ=MONTHLY\r\nBEGIN:VALARM\r\nACTION:DISPLAY\r\nDESCRIPTION:x\r\n"
      "TRIGGER:-PT90M\r\nEND:VALARM\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n";
  ASSERT_TRUE(WriteFileAtomic(folder.File("hand.ics"), sIcs));
  ASSERT_EQ(RunCommand(kTool + " create '" + folder.File("h.dbm") + "' >/dev/null 2>&1"), 0);
  std::string sSaid;
  EXPECT_EQ(RunCommand(kTool + " import '" + folder.File("h.dbm") + "' schedule '" + folder.File("hand.ics") +
                           "' 2>/dev/null",
                       &sSaid),
            1);
  EXPECT_NE(sSaid.find("Imported 8 schedule items (1 not exactly); 6 not imported."), std::string::npos)
      << sSaid;
  for (const char* p :
       {"Set position: Kelvo has no repeat type for a rule with BYSETPOS=-1",
        "Two days: the rule repeats on several days", "Hourly: Kelvo has no repeat type for FREQ=HOURLY",
        "Skipped: Kelvo has no repeat type with EXDATE", "Extra: Kelvo has no repeat type with RDATE",
        "Bimonthly: Kelvo repeats every month or year, not every 2",
        "Not exactly: Monthend: in months shorter than 31 days",
        "the alarm 90 minutes before is taken as 2 hours before"})
    EXPECT_NE(sSaid.find(p), std::string::npos) << p << "\n" << sSaid;
  // The imported items expand to the reader's dates of the hand-made rules.
  const auto records = ReadBack(folder.File("hand.ics"));
  std::map<std::string, CScheduleRecord> items = Schedule(folder.File("h"));
  ASSERT_EQ(items.size(), 8u);
  for (size_t i = 0; i < 7; ++i) {
    const std::string& sSummary = std::get<0>(kEvents[i]);
    ASSERT_EQ(items.count(sSummary), 1u) << sSummary;
    EXPECT_EQ(items[sSummary].m_cRepeatType, std::get<2>(kEvents[i])) << sSummary;
    EXPECT_EQ(Occurrences(items[sSummary]), records[i][8]) << sSummary;
  }
  EXPECT_EQ(items["Fortnight"].m_nDayCount, 14);
  EXPECT_EQ(items["Monthend"].m_nHoursBefore, 2);  // unfolded, the alarm earlier rather than later
  // A file that is no calendar adds nothing.
  ASSERT_TRUE(
      WriteFileAtomic(folder.File("bad.ics"), "BEGIN:VCALENDAR\r\nBEGIN:VEVENT\r\nEND:VCALENDAR\r\n"));
  EXPECT_NE(RunCommand(kTool + " import '" + folder.File("h.dbm") + "' schedule '" + folder.File("bad.ics") +
                           "' 2>&1",
                       &sSaid),
            0);
  EXPECT_NE(sSaid.find("END:VCALENDAR without its BEGIN"), std::string::npos) << sSaid;
  EXPECT_EQ(Schedule(folder.File("h")).size(), 8u);
}
