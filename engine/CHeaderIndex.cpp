#include "engine/CHeaderIndex.h"

#include <algorithm>

void CHeaderIndex::Clear() {
  m_items.clear();
  m_freeBlocks.clear();
  m_tableKeys.clear();
  m_naCapacity.clear();
  m_bValid = false;
  m_nSize = 0;
}

void CHeaderIndex::Add(uint32_t nIndex, const stDataHeader& h, uint32_t nCapacity) {
  std::vector<uint32_t>& v = m_items[Tuple(h.nTable, h.nKey, h.nSubTable)];
  v.insert(std::lower_bound(v.begin(), v.end(), nIndex), nIndex);
  if (m_naCapacity.size() <= nIndex) m_naCapacity.resize(nIndex + 1);
  m_naCapacity[nIndex] = nCapacity;
  if (h.cStatus == STATUS_DELETED) m_freeBlocks.insert({nCapacity, nIndex});
  m_tableKeys[h.nTable].insert(h.nKey);
}

void CHeaderIndex::Remove(uint32_t nIndex, const stDataHeader& h) {
  auto it = m_items.find(Tuple(h.nTable, h.nKey, h.nSubTable));
  if (it != m_items.end()) {
    std::vector<uint32_t>& v = it->second;
    auto pos = std::lower_bound(v.begin(), v.end(), nIndex);
    if (pos != v.end() && *pos == nIndex) v.erase(pos);
    if (v.empty()) m_items.erase(it);
  }
  if (h.cStatus == STATUS_DELETED && nIndex < m_naCapacity.size())
    m_freeBlocks.erase({m_naCapacity[nIndex], nIndex});
  auto keys = m_tableKeys.find(h.nTable);
  if (keys != m_tableKeys.end()) {
    auto k = keys->second.find(h.nKey);
    if (k != keys->second.end()) keys->second.erase(k);
  }
}

const std::vector<uint32_t>* CHeaderIndex::Find(uint8_t nTable, uint32_t nKey,
                                                uint8_t nSubTable) const {
  auto it = m_items.find(Tuple(nTable, nKey, nSubTable));
  return it == m_items.end() ? nullptr : &it->second;
}

long CHeaderIndex::BestFree(uint32_t nSize) const {
  auto it = m_freeBlocks.lower_bound({nSize, 0});
  return it == m_freeBlocks.end() ? -1 : long(it->second);
}

bool CHeaderIndex::HighestKeyBelow(uint8_t nTable, uint32_t nEnd, uint32_t& nKey) const {
  auto keys = m_tableKeys.find(nTable);
  if (keys == m_tableKeys.end()) return false;
  auto it = keys->second.lower_bound(nEnd);
  if (it == keys->second.begin()) return false;
  nKey = *--it;
  return true;
}
