#include "data/HeapSort.h"

#include "support/CDialogWaitBox.h"

void SortProgressStart(CDialogWaitBox* pBox, size_t n) {
  if (pBox) pBox->SetDenominator(double(n));
}

void SortProgressStep(CDialogWaitBox* pBox, size_t nDone) {
  if (pBox) pBox->UpdateProgress(double(nDone));
}

bool HeapSortIndexArrayByDate(std::vector<uint32_t>& naItems, std::vector<double>& daKeys) {
  return HeapSortWithKeys(naItems, daKeys, DateBefore, [](uint32_t a, uint32_t b) { return a < b; });
}

bool HeapSortCStringArrayByDate(std::vector<std::string>& saItems, std::vector<double>& daKeys) {
  return HeapSortWithKeys(saItems, daKeys, DateBefore, TextBefore);
}

void HeapSortCStringArray(std::vector<std::string>& sa) {
  HeapSortPositions(
      sa.size(), [&](size_t i, size_t j) { return sa[i] < sa[j]; },
      [&](size_t i, size_t j) { std::swap(sa[i], sa[j]); });
}

void HeapSortCUIntArray(std::vector<uint32_t>& na) {
  HeapSortPositions(
      na.size(), [&](size_t i, size_t j) { return na[i] < na[j]; },
      [&](size_t i, size_t j) { std::swap(na[i], na[j]); });
}
