#pragma once
// The choices the list views share: picking rows of a multiple-choice list
// and the category filter ("Select one or more categories").

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

class CTableManager;

// The rows the user picks in the multiple-choice list, in list order, each
// once, whatever order the dialog gave; empty on Cancel or no choice.
std::vector<int> ChooseListRows(const std::string& sCaption, const std::vector<std::string>& saTexts);

// The category choice: the new filter, empty when every category was chosen
// (no filter at all). Nothing, after saying why ("No categories specified",
// "None selected"), when the filter stays as it is.
std::optional<std::vector<uint32_t>> ChooseCategoryFilter(CTableManager& db);

// The filter test: no category selected, or one of the item's categories is
// selected.
bool PassesCategoryFilter(const std::vector<uint32_t>& naItemCategories,
                          const std::vector<uint32_t>& naSelected);
