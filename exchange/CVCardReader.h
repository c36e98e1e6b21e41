#pragma once
// Persons from vCard text of version 2.1, 3.0 or 4.0. Each card becomes a
// person with its categories by name, its UID and the UID of the person it
// depends on. What has no field of its own is not lost: a property the
// person cannot hold (a second e-mail, a birthday, a photo) is kept as a
// comment line (see CVCardWriter::KeptLine), and the parts of a name or an
// address without a field go with the nearest field (a middle name and a
// title with the first name, an extended address as address line 2).

#include <string>
#include <string_view>
#include <vector>

#include "data/CPerson.h"

struct stVCardEntry {
  CPerson person;  // code and sequence not set
  std::vector<std::string> saCategories;
  std::string sUid;
  std::string sDependsOn;  // UID, for a dependent
};

class CVCardReader {
 public:
  // The cards of the text, in order; saProblems says what could not be
  // kept (a card without END, a property too long for a comment line).
  static std::vector<stVCardEntry> Read(std::string_view sText, std::vector<std::string>& saProblems);
};
