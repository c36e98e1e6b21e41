#include "views/CCategoryFilter.h"

#include <algorithm>

#include "data/CTableManager.h"
#include "support/CUserInterface.h"
#include "support/UserPrompts.h"

bool CCategoryFilter::Choose(CTableManager& db, std::vector<uint32_t>& naSelected) {
  std::vector<CCategory*> paCategories;
  db.GetCategoryList(paCategories);
  if (paCategories.empty()) {
    GetResponse("No categories specified", MB_OK);
    return false;
  }
  std::vector<std::string> saNames;
  std::vector<uint32_t> naCodes;
  for (const CCategory* p : paCategories) {
    saNames.push_back(p->m_sName);
    naCodes.push_back(p->m_nCode);
  }
  std::optional<std::vector<int>> naChosen;
  {
    CBusyScope busy;
    naChosen = GetUi().ChooseFromList("Select one or more categories", saNames, true);
  }
  if (!naChosen || naChosen->empty()) {
    GetResponse("None selected", MB_OK);
    return false;
  }
  std::vector<uint32_t> naNew;
  for (const int i : *naChosen)
    if (i >= 0 && size_t(i) < naCodes.size() &&
        std::find(naNew.begin(), naNew.end(), naCodes[size_t(i)]) == naNew.end())
      naNew.push_back(naCodes[size_t(i)]);
  // Every category chosen is no filter at all.
  if (naNew.size() == naCodes.size()) naNew.clear();
  naSelected = std::move(naNew);
  return true;
}

bool CCategoryFilter::Passes(const CPerson& person, const std::vector<uint32_t>& naSelected) {
  if (naSelected.empty()) return true;
  return std::any_of(person.m_naCategories.begin(), person.m_naCategories.end(), [&](uint32_t n) {
    return std::find(naSelected.begin(), naSelected.end(), n) != naSelected.end();
  });
}
