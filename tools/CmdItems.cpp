// kelvotool commands that change items the way a user does, through the
// item operations (locks, refresh, sequence, notices) and the edit forms:
//   add FILE TABLE FIELD=VALUE ...        prints the new item's code
//   edit FILE TABLE CODE FIELD=VALUE ...
//   delete FILE TABLE CODE
//   fields TABLE                          the fields of a table's form
// TABLE is category, person, schedule or log (or 5, 6, 8, 9); FIELD is the
// label of an edit form field ("Last name", "Start", ...) or the name list
// prints it under ("last", "start", ...), and "\n" in a value is a line break. The database is opened as a copy with networking
// disabled; questions are answered with their default and shown on stderr.

#include <iostream>
#include <map>

#include "data/CItemDialogs.h"
#include "data/CTableManager.h"
#include "support/CScriptedUi.h"
#include "support/StringUtil.h"
#include "tools/CToolCommands.h"

namespace {

// Shows every message on stderr; the edit form gets the command's fields.
class CToolUi : public CScriptedUi {
 public:
  CToolUi() {
    SetUnexpectedHandler([this](const std::string& s) {
      std::cerr << "kelvotool: " << s << "\n";
      m_bUnanswered = true;
    });
  }
  int MessageBox(const std::string& sText, const std::string& sCaption, int nButtons,
                 int nDefault) override {
    std::cerr << sText << (sText.ends_with("\n") ? "" : "\n");
    return CScriptedUi::MessageBox(sText, sCaption, nButtons, nDefault);
  }
  // The command's fields fill the first form; a field the form does not
  // have cancels it, so nothing half-meant is stored.
  int EditItem(stEditForm& form) override {
    if (m_bFormUsed) return CScriptedUi::EditItem(form);  // a refused form opens again
    m_bFormUsed = true;
    for (const stEditField& f : m_fields) {
      std::string* p = form.Find(f.sName);
      if (!p) {
        std::cerr << "kelvotool: the " << form.sDialog << " form has no field " << f.sName << "\n";
        m_bUnanswered = true;
        return IDCANCEL;
      }
      *p = f.sValue;
    }
    return IDOK;
  }
  std::vector<stEditField> m_fields;
  bool m_bFormUsed = false;
  bool m_bUnanswered = false;
};

int ItemTable(const std::string& s) {
  static const std::map<std::string, int> kTables = {
      {"category", TABLE_CATEGORY}, {"5", TABLE_CATEGORY}, {"person", TABLE_PERSON},
      {"6", TABLE_PERSON},          {"schedule", TABLE_SCHEDULE}, {"8", TABLE_SCHEDULE},
      {"log", TABLE_LOG},           {"9", TABLE_LOG}};
  const auto it = kTables.find(ToLower(s));
  return it == kTables.end() ? -1 : it->second;
}

// One field of a table's edit form: the name "kelvotool list" prints it
// under, and the form's label. Either spelling names it on the command line.
struct stFieldName {
  const char* pList;
  const char* pLabel;
};

const std::vector<stFieldName>& FieldNames(uint8_t nTable) {
  using namespace ItemField;
  static const std::vector<stFieldName> kCategory = {{"name", kName}};
  static const std::vector<stFieldName> kPerson = {
      {"type", kType},         {"status", kStatus},     {"last", kLastName},
      {"first", kFirstName},   {"address1", kAddress1}, {"address2", kAddress2},
      {"city", kCity},         {"state", kState},       {"zip", kZip},
      {"country", kCountry},   {"home", kHomePhone},    {"work", kWorkPhone},
      {"cell", kCellPhone},    {"fax", kFax},           {"email", kEmail},
      {"comments", kComments}, {"categories", kCategories}};
  static const std::vector<stFieldName> kSchedule = {
      {"description", kDescription}, {"repeat", kRepeatType},        {"start", kStart},
      {"end_set", kEndDateSet},      {"end", kEnd},                  {"day_count", kDayCount},
      {"contact", kContact},         {"alarm", kAlarmEnabled},       {"alarm_user", kAlarmUser},
      {"hours_before", kHoursBefore}, {"categories", kCategories}};
  static const std::vector<stFieldName> kLog = {{"text", kDescription},
                                                {"date", kDate},
                                                {"undated", kUndated},
                                                {"contact", kContact},
                                                {"categories", kCategories}};
  static const std::vector<stFieldName> kNone;
  switch (nTable) {
    case TABLE_CATEGORY: return kCategory;
    case TABLE_PERSON: return kPerson;
    case TABLE_SCHEDULE: return kSchedule;
    case TABLE_LOG: return kLog;
    default: return kNone;
  }
}

// The form label of a field given in either spelling (unknown names stay
// as they are, and the form refuses them).
std::string FormLabel(uint8_t nTable, const std::string& sName) {
  for (const stFieldName& f : FieldNames(nTable))
    if (sName == f.pList || EqualsNoCase(sName, f.pLabel)) return f.pLabel;
  return sName;
}

// "Name=Value" arguments as form changes; false on an argument without "=".
bool FieldsFrom(uint8_t nTable, const std::vector<std::string>& args, size_t nFirst,
                std::vector<stEditField>& fields) {
  for (size_t i = nFirst; i < args.size(); ++i) {
    const size_t nEq = args[i].find('=');
    if (nEq == std::string::npos || nEq == 0) return false;
    std::string sValue;
    const std::string sRaw = args[i].substr(nEq + 1);
    for (size_t k = 0; k < sRaw.size(); ++k) {
      if (sRaw[k] == '\\' && k + 1 < sRaw.size() && sRaw[k + 1] == 'n') {
        sValue += '\n';
        ++k;
      } else {
        sValue += sRaw[k];
      }
    }
    stEditField f;
    f.sName = FormLabel(nTable, args[i].substr(0, nEq));
    f.sValue = sValue;
    fields.push_back(f);
  }
  return true;
}

bool CodeFrom(const std::string& s, uint32_t& nCode) {
  long long n = 0;
  if (!ParseInt(s, n) || n < 0 || n >= 0xFFFFFFFFLL) return false;
  nCode = uint32_t(n);
  return true;
}

// Opens the database, runs fn and closes it again.
int WithDatabase(const std::string& sFile, const std::function<int(CTableManager&, CToolUi&)>& fn) {
  CToolUi ui;
  CScopedUi scope(ui);
  CTableManager db;
  if (!db.OpenDatabase(ToolRootName(sFile), 0)) return ToolError("cannot open " + sFile);
  const int nResult = fn(db, ui);
  db.CloseDatabase();
  return ui.m_bUnanswered && nResult == TOOL_OK ? TOOL_ERROR : nResult;
}

const CToolCommand kFields("fields", "fields TABLE         the fields add and edit take for a table",
                           [](const std::vector<std::string>& args) {
  if (args.size() != 1 || ItemTable(args[0]) < 0)
    return ToolError("usage: fields TABLE (category, person, schedule or log)");
  for (const stFieldName& f : FieldNames(uint8_t(ItemTable(args[0]))))
    std::cout << f.pList << "  \"" << f.pLabel << "\"\n";
  return int(TOOL_OK);
});

const CToolCommand kAdd("add",
                        "add FILE TABLE FIELD=VALUE ...   add an item, print its code (FIELD as "
                        "'kelvotool fields TABLE' lists it)",
                        [](const std::vector<std::string>& args) {
  std::vector<stEditField> fields;
  if (args.size() < 2 || ItemTable(args[1]) < 0 ||
      !FieldsFrom(uint8_t(ItemTable(args[1])), args, 2, fields))
    return ToolError("usage: add FILE TABLE FIELD=VALUE ...");
  const uint8_t nTable = uint8_t(ItemTable(args[1]));
  return WithDatabase(args[0], [&](CTableManager& db, CToolUi& ui) {
    ui.m_fields = fields;
    uint32_t nCode = DB_NONE;
    if (db.AddTableItem(nTable, DB_NONE, nullptr, false, {}, &nCode) != eItemResult::Done)
      return ToolError("the item was not added");
    std::cout << nCode << "\n";
    return int(TOOL_OK);
  });
});

const CToolCommand kEdit("edit",
                         "edit FILE TABLE CODE FIELD=VALUE ...   change an item (FIELD as "
                         "'kelvotool fields TABLE' lists it)",
                         [](const std::vector<std::string>& args) {
  std::vector<stEditField> fields;
  uint32_t nCode = 0;
  if (args.size() < 3 || ItemTable(args[1]) < 0 || !CodeFrom(args[2], nCode) ||
      !FieldsFrom(uint8_t(ItemTable(args[1])), args, 3, fields))
    return ToolError("usage: edit FILE TABLE CODE FIELD=VALUE ...");
  const uint8_t nTable = uint8_t(ItemTable(args[1]));
  return WithDatabase(args[0], [&](CTableManager& db, CToolUi& ui) {
    ui.m_fields = fields;
    if (db.EditTableItem(nTable, nCode) != eItemResult::Done)
      return ToolError("the item was not changed");
    return int(TOOL_OK);
  });
});

const CToolCommand kDelete("delete", "delete FILE TABLE CODE   delete an item",
                           [](const std::vector<std::string>& args) {
  uint32_t nCode = 0;
  if (args.size() != 3 || ItemTable(args[1]) < 0 || !CodeFrom(args[2], nCode))
    return ToolError("usage: delete FILE TABLE CODE");
  const uint8_t nTable = uint8_t(ItemTable(args[1]));
  return WithDatabase(args[0], [&](CTableManager& db, CToolUi&) {
    if (db.DeleteTableItem(nTable, nCode, false) != eItemResult::Done)
      return ToolError("the item was not deleted");
    return int(TOOL_OK);
  });
});

}  // namespace
