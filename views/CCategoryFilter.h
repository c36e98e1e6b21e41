#pragma once
// The category filter the person views share: the choice "Select one or
// more categories" and the test of a person against the chosen codes.

#include <cstdint>
#include <vector>

class CPerson;
class CTableManager;

class CCategoryFilter {
 public:
  // Offers every category of the database. With none there shows "No
  // categories specified", with none chosen "None selected"; both keep the
  // filter and give false. Otherwise the chosen codes become the filter (all
  // chosen: an empty filter, everyone) and the result is true.
  static bool Choose(CTableManager& db, std::vector<uint32_t>& naSelected);
  // An empty filter lets everyone pass; otherwise a person passes with any
  // one of the chosen categories.
  static bool Passes(const CPerson& person, const std::vector<uint32_t>& naSelected);
};
