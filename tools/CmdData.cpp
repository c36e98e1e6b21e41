// kelvotool commands of the table manager:
//   demo FILE          a new database with a handful of realistic items
//   generate FILE --persons N --schedule N --log N
//                      a new database of many generated items (benchmarks)
//   list FILE TABLE    a table's items as canonical text, one line per item
//   info FILE          the file's version, close status and lock bytes, the
//                      tables' item counts and the settings
// FILE may be given with or without ".dbm". list and info only read the file.

#include <iostream>

#include "data/CDatabase.h"
#include "data/DemoData.h"
#include "support/CTerminalUi.h"
#include "support/FileUtil.h"
#include "support/CScriptedUi.h"
#include "support/StringUtil.h"
#include "tools/CToolCommands.h"

namespace {

// ---- canonical text ----

std::string Quote(const std::string& s) {
  std::string r = "\"";
  for (unsigned char c : s) {
    switch (c) {
      case '"': r += "\\\""; break;
      case '\\': r += "\\\\"; break;
      case '\n': r += "\\n"; break;
      case '\r': r += "\\r"; break;
      case '\t': r += "\\t"; break;
      default:
        if (c < 0x20 || c == 0x7F)
          r += StrFormat("\\x%02X", c);
        else
          r += char(c);
    }
  }
  return r + "\"";
}

std::string Code(uint32_t n) { return n == DB_NONE ? "none" : std::to_string(n); }

std::string Char(char c) {
  if (c == 0) return "0";
  if (c > 0x20 && c < 0x7F) return std::string(1, c);
  return StrFormat("\\x%02X", unsigned(uint8_t(c)));
}

std::string Num(double d) { return FormatDouble(d); }

std::string List(const std::vector<uint32_t>& na) {
  std::string s = "[";
  for (size_t i = 0; i < na.size(); ++i) {
    if (i) s += ",";
    s += std::to_string(na[i]);
  }
  return s + "]";
}

std::string List(const std::vector<double>& da) {
  std::string s = "[";
  for (size_t i = 0; i < da.size(); ++i) {
    if (i) s += ",";
    s += Num(da[i]);
  }
  return s + "]";
}

std::string List(const std::vector<std::string>& sa) {
  std::string s = "[";
  for (size_t i = 0; i < sa.size(); ++i) {
    if (i) s += ",";
    s += Quote(sa[i]);
  }
  return s + "]";
}

std::string Text(const CCategory& c) {
  return "code=" + Code(c.m_nCode) + " seq=" + Code(c.m_nSequence) +
         " flag=" + std::to_string(c.m_cFlag) + " name=" + Quote(c.m_sName);
}

std::string Text(const CPerson& p) {
  return "code=" + Code(p.m_nCode) + " seq=" + Code(p.m_nSequence) +
         " flag=" + std::to_string(p.m_cFlag) + " type=" + Char(p.m_cType) +
         " status=" + Char(p.m_cStatus) + " dependent=" + Code(p.m_nDependentOn) +
         " last=" + Quote(p.m_sLastName) + " first=" + Quote(p.m_sFirstName) +
         " address1=" + Quote(p.m_sAddress1) + " address2=" + Quote(p.m_sAddress2) +
         " city=" + Quote(p.m_sCity) + " state=" + Quote(p.m_sState) + " zip=" + Quote(p.m_sZip) +
         " country=" + Quote(p.m_sCountry) + " home=" + Quote(p.m_sHomePhone) +
         " work=" + Quote(p.m_sWorkPhone) + " cell=" + Quote(p.m_sCellPhone) +
         " fax=" + Quote(p.m_sFax) + " email=" + Quote(p.m_sEmail) +
         " comments=" + List(p.m_saComments) + " categories=" + List(p.m_naCategories);
}

std::string Text(const CScheduleRecord& s) {
  return "code=" + Code(s.m_nCode) + " seq=" + Code(s.m_nSequence) +
         " version=" + std::to_string(s.m_cReadVersion) + " description=" + Quote(s.m_sDescription) +
         " repeat=" + Char(s.m_cRepeatType) + " start=" + Num(s.m_dStart) +
         " end_set=" + std::to_string(s.m_nEndDateSet) + " end=" + Num(s.m_dEnd) +
         " alarm=" + std::to_string(s.m_nAlarmEnabled) + " alarm_user=" + Code(s.m_nAlarmUser) +
         " hours_before=" + std::to_string(s.m_nHoursBefore) + " alarm_done=" + Num(s.m_dAlarmDone) +
         " contact=" + Code(s.m_nContact) + " day_count=" + std::to_string(s.m_nDayCount) +
         " categories=" + List(s.m_naCategories);
}

std::string Text(const CLogRecord& l) {
  return "code=" + Code(l.m_nCode) + " seq=" + Code(l.m_nSequence) +
         " version=" + std::to_string(l.m_cReadVersion) + " kind=" + std::to_string(l.m_cKind) +
         " sender=" + std::to_string(l.m_cSender) + " contact=" + Code(l.m_nContact) +
         " text=" + Quote(l.m_sText) + " date=" + Num(l.m_dDate) +
         " categories=" + List(l.m_naCategories);
}

std::string FontText(const stFormatRecord& f) {
  return "face=" + Quote(f.m_sFaceName) + " size=" + std::to_string(f.m_nSize) +
         " scale=" + Num(f.m_fHeightScale) + " charset=" + std::to_string(f.m_cCharSet) +
         " bold=" + std::to_string(f.m_bBold) + " italics=" + std::to_string(f.m_bItalics) +
         " underline=" + std::to_string(f.m_bUnderline) +
         " strikeout=" + std::to_string(f.m_bStrikeOut) + " center=" + std::to_string(f.m_bCenter) +
         " colour=" + std::to_string(f.m_nTextColour);
}

std::string ParametersText(const stVarData& v) {
  std::string s;
  for (const auto& r : CVarData::Ranges()) {
    std::string sLabel = r.m_pLabel;
    for (char& c : sLabel)
      if (c == '\n') c = ' ';
    if (!s.empty()) s += " ";
    s += Quote(sLabel) + "=" + std::to_string(v.*r.m_pField);
  }
  return s;
}

// Prints the lines of one table; false for an unknown table name.
bool PrintTable(const CDatabase& db, const std::string& sTable) {
  const auto items = [&](uint8_t nTable, auto fnLine) {
    for (const auto& e : *db.PtrToIndexArray(nTable)) std::cout << fnLine(*e.m_pItem) << "\n";
  };
  if (sTable == "categories" || sTable == "5") {
    items(TABLE_CATEGORY, [](const CDataRecord& r) { return Text(static_cast<const CCategory&>(r)); });
  } else if (sTable == "persons" || sTable == "6") {
    items(TABLE_PERSON, [](const CDataRecord& r) { return Text(static_cast<const CPerson&>(r)); });
  } else if (sTable == "schedule" || sTable == "8") {
    items(TABLE_SCHEDULE, [](const CDataRecord& r) { return Text(static_cast<const CScheduleRecord&>(r)); });
  } else if (sTable == "log" || sTable == "9") {
    items(TABLE_LOG, [](const CDataRecord& r) { return Text(static_cast<const CLogRecord&>(r)); });
  } else if (sTable == "formats" || sTable == "3") {
    for (uint32_t n = 0; n < db.FormatCount(); ++n) {
      const stFormatRecord& f = *db.GetFormat(n);
      std::cout << "code=" << f.m_nCode << " name=" << Quote(db.GetFormatName(n)) << " "
                << FontText(f) << " tabs=" << List(f.m_daTabStops) << "\n";
    }
  } else if (sTable == "layouts" || sTable == "4") {
    for (uint32_t n = 0; n < db.PageLayoutCount(); ++n) {
      const stPageLayout& l = *db.GetPageLayout(n);
      std::cout << "code=" << l.m_nCode << " left=" << Num(l.m_fLeftMargin)
                << " top=" << Num(l.m_fTopMargin) << " bottom=" << Num(l.m_fBottomMargin)
                << " page_flag=" << l.m_nPageFlag << " landscape=" << l.m_nLandscape << " "
                << FontText(l.m_stPageFont) << "\n";
    }
  } else if (sTable == "parameters" || sTable == "2") {
    std::cout << ParametersText(db.GetVarData()) << "\n";
  } else {
    return false;
  }
  return true;
}

// Creates the database; fails when the file exists already.
int CreateDatabase(CDatabase& db, const std::string& sFile) {
  const std::string sRoot = ToolRootName(sFile);
  if (FileExists(sRoot + ".dbm")) {
    ToolError(sRoot + ".dbm exists already");
    return 0;
  }
  if (!db.OpenDatabase(sRoot, 0)) return 0;
  return db.LockDatabase("create items");
}

int FinishNew(CDatabase& db, bool bOk, const std::string& sFile) {
  db.UnlockDatabase();
  db.CloseDatabase();
  if (!bOk) return ToolError("could not write the items to " + ToolRootName(sFile) + ".dbm");
  std::cout << ToolRootName(sFile) << ".dbm\n";
  return TOOL_OK;
}

bool ParseCount(const std::string& s, long long& n) { return ParseInt(s, n) && n >= 0 && n <= 10000000; }

const CToolCommand kDemo("demo", "demo FILE            create a demo database with sample items",
                         [](const std::vector<std::string>& args) -> int {
                           if (args.size() != 1) return ToolError("usage: kelvotool demo FILE");
                           CTerminalUi ui(IDNO);
                           CScopedUi scope(ui);
                           MakeFolder(FolderOf(args[0]));
                           CDatabase db;
                           if (!CreateDatabase(db, args[0])) return TOOL_ERROR;
                           return FinishNew(db, WriteDemoItems(db), args[0]);
                         });

const CToolCommand kGenerate(
    "generate", "generate FILE --persons N --schedule N --log N  create a database of generated items",
    [](const std::vector<std::string>& args) -> int {
      long long naCounts[3] = {0, 0, 0};
      const char* kFlags[3] = {"--persons", "--schedule", "--log"};
      std::string sFile;
      for (size_t i = 0; i < args.size(); ++i) {
        int nFlag = -1;
        for (int f = 0; f < 3; ++f)
          if (args[i] == kFlags[f]) nFlag = f;
        if (nFlag < 0 && sFile.empty() && args[i].rfind("--", 0) != 0) {
          sFile = args[i];
          continue;
        }
        if (nFlag < 0 || i + 1 >= args.size() || !ParseCount(args[++i], naCounts[nFlag]))
          return ToolError("usage: kelvotool generate FILE --persons N --schedule N --log N");
      }
      if (sFile.empty()) return ToolError("usage: kelvotool generate FILE --persons N --schedule N --log N");
      CTerminalUi ui(IDNO);
      CScopedUi scope(ui);
      CDatabase db;
      if (!CreateDatabase(db, sFile)) return TOOL_ERROR;
      return FinishNew(db, WriteGeneratedItems(db, naCounts[0], naCounts[1], naCounts[2]), sFile);
    });

const CToolCommand kList(
    "list", "list FILE TABLE      print a table (categories, persons, schedule, log, formats, layouts, parameters)",
    [](const std::vector<std::string>& args) -> int {
      if (args.size() != 2) return ToolError("usage: kelvotool list FILE TABLE");
      CTerminalUi ui(IDNO);
      CScopedUi scope(ui);
      CDatabase db;
      if (!ToolLoadForReading(db, args[0])) return TOOL_ERROR;
      if (!PrintTable(db, args[1])) return ToolError("unknown table '" + args[1] + "'");
      return TOOL_OK;
    });

const CToolCommand kInfo("info", "info FILE            item counts and settings of a database",
                         [](const std::vector<std::string>& args) -> int {
                           if (args.size() != 1) return ToolError("usage: kelvotool info FILE");
                           CTerminalUi ui(IDNO);
                           CScopedUi scope(ui);
                           CDatabase db;
                           if (!ToolLoadForReading(db, args[0])) return TOOL_ERROR;
                           std::cout << "Database: " << ToolRootName(args[0]) << ".dbm\n";
                           PrintHeaderArea(db, std::cout);
                           std::cout << "Records: " << db.m_caDataHeaders.size() << "\n";
                           for (uint8_t t : {TABLE_CATEGORY, TABLE_PERSON, TABLE_SCHEDULE, TABLE_LOG})
                             std::cout << db.GetTableName(t) << ": "
                                       << db.PtrToIndexArray(t)->size() << "\n";
                           std::cout << "Parameters: " << ParametersText(db.GetVarData()) << "\n";
                           std::cout << "Formats: " << db.FormatCount()
                                     << ", page layouts: " << db.PageLayoutCount() << "\n";
                           return TOOL_OK;
                         });

}  // namespace
