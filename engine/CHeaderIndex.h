#pragma once
// Lookup structures over the header list, so that finding a record by table
// and key, the best-fit free-space search and key allocation cost a lookup
// instead of a walk over every header. The header list stays the one truth;
// the record store keeps this index in step with every change it makes and
// rebuilds it whenever the list is rebuilt.

#include <cstdint>
#include <map>
#include <set>
#include <unordered_map>
#include <vector>

#include "engine/DbFormat.h"

class CHeaderIndex {
 public:
  // Rebuilds from the whole list; capacity(i) gives the usable block size.
  template <typename FnCapacity>
  void Build(const std::vector<stDataHeader>& headers, FnCapacity fnCapacity) {
    Clear();
    for (size_t i = 0; i < headers.size(); ++i) Add(uint32_t(i), headers[i], fnCapacity(i));
    m_bValid = true;
    m_nSize = headers.size();
  }
  void Clear();
  void Invalidate() { m_bValid = false; }
  // Valid when built and kept in step for a list of nListSize entries.
  bool IsValidFor(size_t nListSize) const { return m_bValid && m_nSize == nListSize; }

  void Add(uint32_t nIndex, const stDataHeader& header, uint32_t nCapacity);
  void Remove(uint32_t nIndex, const stDataHeader& header);
  void SetSize(size_t nListSize) { m_nSize = nListSize; }

  // List indexes of the entries with this table, subtable and key, ascending.
  const std::vector<uint32_t>* Find(uint8_t nTable, uint32_t nKey, uint8_t nSubTable) const;
  // The free block of the smallest capacity >= nSize, earliest on ties; -1 when none.
  long BestFree(uint32_t nSize) const;
  // The highest key of the table below nEnd (any status); false when none.
  bool HighestKeyBelow(uint8_t nTable, uint32_t nEnd, uint32_t& nKey) const;

 private:
  static uint64_t Tuple(uint8_t nTable, uint32_t nKey, uint8_t nSubTable) {
    return (uint64_t(nTable) << 40) | (uint64_t(nSubTable) << 32) | nKey;
  }

  bool m_bValid = false;
  size_t m_nSize = 0;
  std::unordered_map<uint64_t, std::vector<uint32_t>> m_items;
  std::set<std::pair<uint32_t, uint32_t>> m_freeBlocks;  // (capacity, list index)
  std::map<uint8_t, std::multiset<uint32_t>> m_tableKeys;
  std::vector<uint32_t> m_naCapacity;  // per list index, as entered in m_freeBlocks
};
