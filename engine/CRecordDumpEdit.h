#pragma once
// One record as the record dump dialog edits it: a copy of its 36 header
// bytes and of its data block, read from the file when the dialog opens and
// written back on OK without any consistency check (the integrity test is the
// tool to check the result).
//
// The copy lives in buffers of its own, never in the engine's record buffer,
// so whatever runs while the dialog is open (paints, refreshes, alarms saved
// in a wait box) cannot change what OK writes. OK writes exactly the bytes
// the dialog showed: the block as long as it was read, or only the header
// when the block could not be read.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/DbFormat.h"

class CDbEngine;

class CRecordDumpEdit {
 public:
  CRecordDumpEdit(CDbEngine& engine, uint32_t nLoc);

  // Reads the header and then BlkLen bytes of the block (plain reads). False
  // when the header could not be read; a block that could not be read leaves
  // the data list empty.
  bool Open();
  uint32_t Location() const { return m_nLoc; }
  const std::array<uint8_t, DB_HEADER_LEN>& HeaderBytes() const { return m_aHeader; }
  const std::vector<uint8_t>& DataBytes() const { return m_aData; }
  bool DataRead() const { return m_bDataRead; }

  // The list entries: "%6i[%3i]" or "%6i[%3i]%c" per header byte, the same
  // with "  %s" or "%c %s" ("Data" or "Not data") per byte of the block.
  std::vector<std::string> HeaderEntries() const;
  std::vector<std::string> DataEntries() const;

  // Edit (header) and Edit (data) on the selected entry (-1: none): asks for
  // the "New value" and stores it. True when the byte changed.
  bool EditHeaderByte(int nIndex);
  bool EditDataByte(int nIndex);

  // OK: the header copy with WriteDbHeader, then the block as read with
  // WriteDbBlock (both locked when others are on line). 1 written, 0 failed
  // (after "Could not write record to file.").
  int Write();

 private:
  // The data length the header copy names now.
  uint32_t DataLen() const;
  // Asks for the new value of one byte; false when unchanged or refused.
  static bool AskByte(uint8_t* pBytes, size_t nCount, int nIndex);

  CDbEngine& m_engine;
  uint32_t m_nLoc;
  std::array<uint8_t, DB_HEADER_LEN> m_aHeader{};
  std::vector<uint8_t> m_aData;
  bool m_bDataRead = false;
};
