#pragma once
// The record dump's texts: one line per record of the chain exactly as the
// file stores it (location, status, sizes, table, key, creating user and the
// first bytes of its data), and the field-by-field text of one header. The
// dump view, its file and `kelvotool dump` all take their lines from here.
//
// Every read goes to the file itself, without a lock and into buffers of its
// own: the engine's record buffer is never touched, so painting a line in the
// middle of another operation cannot change what that operation holds. A
// read that fails puts its error text into the line; nothing is asked.

#include <cstdint>
#include <string>
#include <vector>

#include "engine/DbFormat.h"

class CDbEngine;
class CDialogWaitBox;

class CRecordDump {
 public:
  // Data bytes a line shows at most.
  static constexpr uint32_t kShownData = 1024;

  explicit CRecordDump(CDbEngine& engine);

  // The locations of the chain, in chain order (the lines of the dump).
  std::vector<uint32_t> ChainLocations(CDialogWaitBox* pBox = nullptr);
  // The line of the record at nLoc.
  std::string DisplayDatabaseRecord(uint32_t nLoc);
  // The fields of the header at nLoc in file order (a locked read), or the
  // read error text.
  std::string HeaderFieldsText(uint32_t nLoc);

  // Bytes as text: a byte below 32 as "[%i]", any other as its character.
  static std::string DisplayBuffer(const uint8_t* pBytes, uint32_t nCount);
  // One byte as the character it stands for (bytes above 127 as the
  // single-byte text the file stores).
  static std::string ByteCharacter(uint8_t nByte);
  // "Error in reading from file location %u, table %i, key %i".
  static std::string ReadErrorText(uint32_t nLoc, int nTable, uint32_t nKey);
  // The header could not be read: no table, no key.
  static std::string HeaderReadErrorText(uint32_t nLoc);

 private:
  // The plain read of nCount bytes at nLoc; false when not all were read.
  bool ReadPlain(uint32_t nLoc, uint8_t* pBuffer, uint32_t nCount);
  std::string TablePart(const stDataHeader& header) const;

  CDbEngine& m_engine;
};
