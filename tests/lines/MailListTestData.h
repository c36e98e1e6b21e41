#pragma once
// The persons of the mail list tests, headless and printed: seven in the
// category "Mail" among three others, one with "~B" and a line "<" in its
// address, one without a city; and the layouts the tests set in the
// process's settings (put back when the test ends).

#include <string>
#include <vector>

#include "items/ItemTestCopies.h"
#include "support/CConfigFile.h"

struct stMailPerson {
  std::string sLast, sFirst, sAddress1, sAddress2, sCity, sZip, sPhone, sCategory;
};

inline const std::vector<stMailPerson>& MailPersons() {
  static const std::vector<stMailPerson> kPersons = {
      {"Alpha", "Ann", "1 Elm St", "", "Springfield", "62704", "555-0101", "Mail"},
      {"Bravo", "Bob", "~Bold Street 7", "<", "Shelbyville", "62565", "555-0102", "Mail"},
      {"Charlie", "", "3 Oak Ave", "", "Ogdenville", "62001", "555-0103", "Mail"},
      {"Delta", "Dora", "4 Pine Rd", "", "", "", "555-0104", "Mail"},
      {"Echo", "Ed", "5 Birch Ln", "", "Capital City", "62100", "555-0105", "Mail"},
      {"Foxtrot", "Fay", "6 Cedar Ct", "", "North Haverbrook", "62002", "555-0106", "Mail"},
      {"Golf", "Gus", "7 Maple Dr", "", "Brockway", "62003", "555-0107", "Mail"},
      {"Hotel", "Hal", "8 Ash Way", "", "Cypress Creek", "62004", "555-0108", "Other"},
      {"India", "Ida", "9 Fir Pl", "", "Waverly Hills", "62005", "555-0109", ""},
      {"Juliet", "Jo", "10 Yew St", "", "Ogdenville", "62006", "555-0110", "Other"},
  };
  return kPersons;
}

// Adds the categories and the persons; returns the codes of the persons in
// the order above.
inline std::vector<uint32_t> AddMailPersons(CTableManager& db, CScriptedUi& ui) {
  AddCategory(db, ui, "Mail");
  AddCategory(db, ui, "Other");
  AddCategory(db, ui, "Nobody");
  std::vector<uint32_t> naCodes;
  for (const stMailPerson& p : MailPersons()) {
    ui.QueueEdit({{ItemField::kLastName, p.sLast},
                  {ItemField::kFirstName, p.sFirst},
                  {ItemField::kAddress1, p.sAddress1},
                  {ItemField::kAddress2, p.sAddress2},
                  {ItemField::kCity, p.sCity},
                  {ItemField::kState, p.sCity.empty() ? "" : "IL"},
                  {ItemField::kZip, p.sZip},
                  {ItemField::kHomePhone, p.sPhone},
                  {ItemField::kCategories, p.sCategory}});
    uint32_t nCode = DB_NONE;
    EXPECT_EQ(db.AddTableItem(TABLE_PERSON, DB_NONE, nullptr, false, {}, &nCode), eItemResult::Done);
    naCodes.push_back(nCode);
  }
  return naCodes;
}

// Two columns 3 inches apart from a left offset of 0.25 inch, three rows of
// six lines, one top line.
inline stMailList LabelLayout() {
  stMailList m;
  m.sFontFace = "Liberation Mono";
  m.nSize = 100;
  m.cTopLines = 1;
  m.fLeftMargin = 0.25;
  m.cColumns = 2;
  m.cRows = 3;
  m.cLinesPerRow = 6;
  m.fColumnSpacing = 3.0;
  return m;
}

// Keeps the process's settings and puts them back.
class CSettingsGuard {
 public:
  CSettingsGuard() : m_saved(AppSettings()) {}
  ~CSettingsGuard() { AppSettings() = m_saved; }
  CSettingsGuard(const CSettingsGuard&) = delete;
  CSettingsGuard& operator=(const CSettingsGuard&) = delete;

 private:
  stAppSettings m_saved;
};
