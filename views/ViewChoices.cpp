#include "views/ViewChoices.h"

#include <algorithm>

#include "data/CTableManager.h"
#include "support/CUserInterface.h"
#include "support/UserPrompts.h"

std::vector<int> ChooseListRows(const std::string& sCaption, const std::vector<std::string>& saTexts) {
  std::optional<std::vector<int>> naChosen;
  {
    CBusyScope busy;
    naChosen = GetUi().ChooseFromList(sCaption, saTexts, true);
  }
  std::vector<int> naRows;
  if (naChosen)
    for (const int i : *naChosen)
      if (i >= 0 && size_t(i) < saTexts.size()) naRows.push_back(i);
  std::sort(naRows.begin(), naRows.end());
  naRows.erase(std::unique(naRows.begin(), naRows.end()), naRows.end());
  return naRows;
}

std::optional<std::vector<uint32_t>> ChooseCategoryFilter(CTableManager& db) {
  std::vector<CCategory*> paCategories;
  db.GetCategoryList(paCategories);
  if (paCategories.empty()) {
    GetResponse("No categories specified", MB_OK);
    return std::nullopt;
  }
  // Codes, not pointers: a refresh while the list is open may replace the categories.
  std::vector<std::string> saNames;
  std::vector<uint32_t> naCodes;
  for (const CCategory* p : paCategories) {
    saNames.push_back(p->m_sName);
    naCodes.push_back(p->m_nCode);
  }
  const std::vector<int> naRows = ChooseListRows("Select one or more categories", saNames);
  if (naRows.empty()) {
    GetResponse("None selected", MB_OK);
    return std::nullopt;
  }
  // Every category chosen is no filter at all.
  if (naRows.size() == naCodes.size()) return std::vector<uint32_t>();
  std::vector<uint32_t> naSelected;
  for (const int i : naRows) naSelected.push_back(naCodes[size_t(i)]);
  return naSelected;
}

bool PassesCategoryFilter(const std::vector<uint32_t>& naItemCategories,
                          const std::vector<uint32_t>& naSelected) {
  if (naSelected.empty()) return true;
  return std::any_of(naItemCategories.begin(), naItemCategories.end(), [&](uint32_t n) {
    return std::find(naSelected.begin(), naSelected.end(), n) != naSelected.end();
  });
}
