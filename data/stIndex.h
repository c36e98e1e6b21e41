#pragma once
// One entry of an in-memory item table: the item's code and display position,
// where its record lies in the file, and the item itself, which the entry owns.

#include <cstdint>
#include <memory>
#include <vector>

#include "data/CDataRecord.h"

struct stIndex {
  uint32_t m_nCode = DB_NONE;
  uint32_t m_nSequence = DB_NONE;
  uint32_t m_nFileLoc = DB_NONE;
  std::unique_ptr<CDataRecord> m_pItem;
};

using CIndexArray = std::vector<stIndex>;
