// Likely duplicate persons: names across accents, case and blanks, e-mail
// addresses across case, phone numbers by their digits.

#include <gtest/gtest.h>

#include <memory>

#include "data/CDuplicateFinder.h"
#include "data/CPerson.h"

namespace {

CPerson Person(uint32_t nCode, const char* pLast, const char* pFirst, const char* pEmail = "",
               const char* pPhone = "") {
  CPerson p;
  p.m_nCode = nCode;
  p.m_sLastName = pLast;
  p.m_sFirstName = pFirst;
  p.m_sEmail = pEmail;
  p.m_sWorkPhone = pPhone;
  return p;
}

}  // namespace

TEST(DuplicateFinder, MatchesNamesEmailsAndPhonesAsAPersonWouldSeeThem) {
  // The index of an import and the walk of a save over the same persons
  // give the same person for the same reason.
  CDuplicateFinder finder;
  CIndexArray table;
  const auto add = [&](const CPerson& p) {
    finder.Add(p);
    stIndex e;
    e.m_nCode = p.m_nCode;
    e.m_pItem = std::make_unique<CPerson>(p);
    table.push_back(std::move(e));
  };
  const auto find = [&](const CPerson& p, uint32_t nSkip, std::string* pWhy = nullptr) {
    std::string sWhy, sWalkWhy;
    const uint32_t nCode = finder.Find(p, nSkip, &sWhy);
    EXPECT_EQ(CDuplicateFinder::FindInTable(p, table, nSkip, &sWalkWhy), nCode) << p.m_sLastName;
    EXPECT_EQ(sWalkWhy, sWhy) << p.m_sLastName;
    if (pWhy) *pWhy = sWhy;
    return nCode;
  };
  add(Person(1, "M\xC3\xBCller", "J\xC3\xBCrgen"));
  add(Person(2, "\xC5\x81ukaszewicz-\xC5\xBB\xC3\xB3\xC5\x82\xC4\x87", "\xC3\x86sa", "Ann@Example.ORG"));
  add(Person(3, "Stra\xC3\x9F" "e", "Eva", "", "+49 (30) 123-4567"));
  add(Person(4, "Short", "Sam", "", "12-34-56"));
  add(Person(5, "Van  der Berg", "Jan", "jan@example.org", "030 9876543"));
  std::string sWhy;
  EXPECT_EQ(find(Person(9, "MULLER", "jurgen"), DB_NONE, &sWhy), 1u);
  EXPECT_EQ(sWhy, "same name");
  EXPECT_EQ(find(Person(9, " muller ", "  J\xC3\x9CRGEN"), DB_NONE), 1u);
  EXPECT_EQ(find(Person(9, "LUKASZEWICZ-zolc", "aesa"), DB_NONE), 2u);
  EXPECT_EQ(find(Person(9, "Strasse", "EVA"), DB_NONE), 3u);
  EXPECT_EQ(find(Person(9, " van der  BERG", "jan "), DB_NONE), 5u);
  EXPECT_EQ(find(Person(9, "Other", "Bob", " ann@example.org"), DB_NONE, &sWhy), 2u);
  EXPECT_EQ(sWhy, "same e-mail address");
  CPerson cell = Person(9, "Other", "Bob");
  cell.m_sCellPhone = "4930 1234567";
  EXPECT_EQ(find(cell, DB_NONE, &sWhy), 3u);
  EXPECT_EQ(sWhy, "same phone number");
  // A name match wins over an earlier e-mail match, the e-mail over a phone.
  EXPECT_EQ(find(Person(9, "Van der Berg", "Jan", "ANN@example.org", "+49 30 123 4567"), DB_NONE, &sWhy), 5u);
  EXPECT_EQ(sWhy, "same name");
  EXPECT_EQ(find(Person(9, "X", "Y", "jan@example.org", "+49 30 123 4567"), DB_NONE, &sWhy), 5u);
  EXPECT_EQ(sWhy, "same e-mail address");
  // Not duplicates: other names, a business of the same name, a short
  // number, and the person itself.
  EXPECT_EQ(find(Person(9, "Muller", "Jurgena"), DB_NONE), DB_NONE);
  EXPECT_EQ(find(Person(9, "Vanderberg", "Jan"), DB_NONE), DB_NONE);
  CPerson business = Person(9, "M\xC3\xBCller", "J\xC3\xBCrgen");
  business.m_cType = 'B';
  EXPECT_EQ(find(business, DB_NONE), DB_NONE);
  EXPECT_EQ(find(Person(9, "X", "Y", "", "123456"), DB_NONE), DB_NONE);
  EXPECT_EQ(find(Person(9, "", "", "", "(12) 34 56"), DB_NONE), DB_NONE);
  EXPECT_EQ(find(Person(1, "Muller", "Jurgen"), 1), DB_NONE);
  EXPECT_TRUE(CDuplicateFinder::KeysDiffer(Person(1, "A", "B"), Person(1, "A", "C")));
  EXPECT_FALSE(CDuplicateFinder::KeysDiffer(Person(1, "A", "B", "x@y"), Person(1, "a", "b", "X@Y")));
}
