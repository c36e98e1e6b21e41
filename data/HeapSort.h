#pragma once
// The heap sorts behind every ordering of the program: index arrays by
// sequence, text or date, pointer arrays by text, string arrays by date or by
// themselves, and arrays of unsigned values. Each sorts in place and carries a
// parallel array of keys along with the items. Equal keys are ordered by the
// item's code (or by the item itself where it has none), so every copy of the
// program shows the same order for the same data.
//
// Text keys compare byte by byte as unsigned values, which for UTF-8 is the
// order of the code points. Date keys compare as doubles; a NaN counts as
// earlier than every date, so a damaged date cannot upset the order of the
// rest.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

class CDialogWaitBox;

// The sort itself, on positions 0..n-1: bLess(i, j) is true when the item at i
// goes before the one at j; swap(i, j) exchanges two items (and their keys);
// onExtract() runs once per item taken off the heap. 0 and 1 items are
// already sorted.
template <class Less, class Swap, class Extract>
void HeapSortPositions(size_t n, Less bLess, Swap swap, Extract onExtract) {
  if (n < 2) return;
  auto siftDown = [&](size_t nRoot, size_t nEnd) {
    for (size_t nChild; (nChild = 2 * nRoot + 1) < nEnd; nRoot = nChild) {
      if (nChild + 1 < nEnd && bLess(nChild, nChild + 1)) ++nChild;
      if (!bLess(nRoot, nChild)) return;
      swap(nRoot, nChild);
    }
  };
  for (size_t nStart = n / 2; nStart-- > 0;) siftDown(nStart, n);
  for (size_t nEnd = n - 1; nEnd > 0; --nEnd) {
    swap(0, nEnd);
    onExtract();
    siftDown(0, nEnd);
  }
  onExtract();
}

template <class Less, class Swap>
void HeapSortPositions(size_t n, Less bLess, Swap swap) {
  HeapSortPositions(n, bLess, swap, [] {});
}

// Date order with NaN first.
inline bool DateBefore(double a, double b) {
  if (std::isnan(a)) return !std::isnan(b);
  if (std::isnan(b)) return false;
  return a < b;
}
inline bool DateEqual(double a, double b) { return !DateBefore(a, b) && !DateBefore(b, a); }

// Sorts items with a parallel key array: bKeyBefore(ka, kb) orders keys,
// bTieBefore(ia, ib) orders items whose keys are equal. A key array of the
// wrong length is a caller's mistake; the items are then left as they are.
template <class Item, class Key, class KeyBefore, class TieBefore>
bool HeapSortWithKeys(std::vector<Item>& items, std::vector<Key>& keys, KeyBefore bKeyBefore,
                      TieBefore bTieBefore) {
  if (items.size() != keys.size()) return false;
  HeapSortPositions(
      items.size(),
      [&](size_t i, size_t j) {
        if (bKeyBefore(keys[i], keys[j])) return true;
        if (bKeyBefore(keys[j], keys[i])) return false;
        return bTieBefore(items[i], items[j]);
      },
      [&](size_t i, size_t j) {
        std::swap(items[i], items[j]);
        std::swap(keys[i], keys[j]);
      });
  return true;
}

inline bool TextBefore(const std::string& a, const std::string& b) { return a < b; }

// 1 when the index array's sequences are exactly 0, 1, 2, ... in order.
template <class Index>
int TestIndexArray(const std::vector<Index>& ia) {
  for (size_t i = 0; i < ia.size(); ++i)
    if (ia[i].m_nSequence != i) return 0;
  return 1;
}

// Progress of a sort shown in a wait box: one step per extraction.
void SortProgressStart(CDialogWaitBox* pBox, size_t n);
void SortProgressStep(CDialogWaitBox* pBox, size_t nDone);

// Index array by sequence (unsigned), equal sequences by code; 1 when the
// result is exactly 0, 1, 2, ... The box, when given, shows the progress.
template <class Index>
int HeapSortIndexArray(std::vector<Index>& ia, CDialogWaitBox* pBox = nullptr) {
  SortProgressStart(pBox, ia.size());
  size_t nDone = 0;
  HeapSortPositions(
      ia.size(),
      [&](size_t i, size_t j) {
        if (ia[i].m_nSequence != ia[j].m_nSequence) return ia[i].m_nSequence < ia[j].m_nSequence;
        return ia[i].m_nCode < ia[j].m_nCode;
      },
      [&](size_t i, size_t j) { std::swap(ia[i], ia[j]); },
      [&] { SortProgressStep(pBox, ++nDone); });
  return TestIndexArray(ia);
}

template <class Index>
bool CodeBefore(const Index& a, const Index& b) {
  return a.m_nCode < b.m_nCode;
}

// Index array by text keys, ascending.
template <class Index>
bool HeapSortIndexArrayByAlpha(std::vector<Index>& ia, std::vector<std::string>& saKeys) {
  return HeapSortWithKeys(ia, saKeys, TextBefore, CodeBefore<Index>);
}

// Index array by date keys, newest first.
template <class Index>
bool HeapSortIndexArrayByReverseDate(std::vector<Index>& ia, std::vector<double>& daKeys) {
  return HeapSortWithKeys(
      ia, daKeys, [](double a, double b) { return DateBefore(b, a); }, CodeBefore<Index>);
}

// Pointer array of items (anything with a code) by text keys.
template <class T>
bool HeapSortPtrArrayByAlpha(std::vector<T*>& pa, std::vector<std::string>& saKeys) {
  return HeapSortWithKeys(pa, saKeys, TextBefore, [](const T* a, const T* b) {
    return a->m_nCode < b->m_nCode;
  });
}

// An array of integers (codes or positions) by date keys, ascending.
bool HeapSortIndexArrayByDate(std::vector<uint32_t>& naItems, std::vector<double>& daKeys);
// Strings by date keys, ascending; equal dates by the strings.
bool HeapSortCStringArrayByDate(std::vector<std::string>& saItems, std::vector<double>& daKeys);
// Strings by themselves.
void HeapSortCStringArray(std::vector<std::string>& sa);
// Unsigned values by themselves.
void HeapSortCUIntArray(std::vector<uint32_t>& na);
