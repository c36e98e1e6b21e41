#pragma once
// Which persons a person may duplicate: the same name (type, last and first
// name, matched without regard to case and accents), the same e-mail
// address (without regard to case) or the same phone number (its digits, at
// least seven of them, in any of the four phone fields).

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "data/stIndex.h"

class CPerson;

class CDuplicateFinder {
 public:
  // Indexes the person under nCode (its own code unless another is given).
  void Add(const CPerson& person, uint32_t nCode);
  void Add(const CPerson& person);
  // The code of the first indexed person but nSkipCode that the person may
  // duplicate, 0xFFFFFFFF for none; pWhy gets "same name", "same e-mail
  // address" or "same phone number".
  uint32_t Find(const CPerson& person, uint32_t nSkipCode, std::string* pWhy = nullptr) const;

  // What Find gives for the persons of the table, without indexing them:
  // for one person tested against a whole table (a save), one walk that
  // compares the fields in place is much cheaper than building the index.
  static uint32_t FindInTable(const CPerson& person, const CIndexArray& persons, uint32_t nSkipCode,
                              std::string* pWhy = nullptr);

  // Whether two versions of a person differ in anything the match looks at.
  static bool KeysDiffer(const CPerson& a, const CPerson& b);

 private:
  using CKeyIndex = std::unordered_map<std::string, std::vector<uint32_t>>;
  static std::string NameKey(const CPerson& person);
  static std::string EmailKey(const CPerson& person);
  static std::vector<std::string> PhoneKeys(const CPerson& person);
  static std::array<const std::string*, 4> Phones(const CPerson& person);
  // The key tests of FindInTable, field against key without building a key.
  static bool FoldsTo(std::string_view s, std::string_view sFolded);
  static bool TrimsLowerTo(std::string_view s, std::string_view sKey);
  static bool DigitsAre(std::string_view s, std::string_view sDigits);
  static uint32_t Lookup(const CKeyIndex& index, const std::string& sKey, uint32_t nSkipCode);

  CKeyIndex m_names, m_emails, m_phones;
};
