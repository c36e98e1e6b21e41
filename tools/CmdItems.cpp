// kelvotool commands that change items the way a user does, through the
// item operations (locks, refresh, sequence, notices) and the edit forms:
//   add FILE TABLE FIELD=VALUE ...        prints the new item's code
//   edit FILE TABLE CODE FIELD=VALUE ...
//   delete FILE TABLE CODE
// TABLE is category, person, schedule or log (or 5, 6, 8, 9); FIELD is the
// name of an edit form field ("Last name", "Start", ...) and "\n" in a value
// is a line break. The database is opened as a copy with networking
// disabled; questions are answered with their default and shown on stderr.

#include <iostream>
#include <map>

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

std::string RootName(const std::string& sFile) {
  return sFile.ends_with(".dbm") ? sFile.substr(0, sFile.size() - 4) : sFile;
}

// "Name=Value" arguments as form changes; false on an argument without "=".
bool FieldsFrom(const std::vector<std::string>& args, size_t nFirst,
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
    f.sName = args[i].substr(0, nEq);
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
  if (!db.OpenDatabase(RootName(sFile), 0)) return ToolError("cannot open " + sFile);
  const int nResult = fn(db, ui);
  db.CloseDatabase();
  return ui.m_bUnanswered && nResult == TOOL_OK ? TOOL_ERROR : nResult;
}

const CToolCommand kAdd("add", "add FILE TABLE FIELD=VALUE ...   add an item, print its code",
                        [](const std::vector<std::string>& args) {
  std::vector<stEditField> fields;
  if (args.size() < 2 || ItemTable(args[1]) < 0 || !FieldsFrom(args, 2, fields))
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

const CToolCommand kEdit("edit", "edit FILE TABLE CODE FIELD=VALUE ...   change an item",
                         [](const std::vector<std::string>& args) {
  std::vector<stEditField> fields;
  uint32_t nCode = 0;
  if (args.size() < 3 || ItemTable(args[1]) < 0 || !CodeFrom(args[2], nCode) ||
      !FieldsFrom(args, 3, fields))
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
