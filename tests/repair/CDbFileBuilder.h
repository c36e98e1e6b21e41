#pragma once
// Builds database files byte by byte for the integrity tests: the header
// area, then records laid out one after the other. The headers stay editable
// after a record is added, so a test can write any damage into them; the
// physical layout (where each header sits) is fixed when the record is added.

#include <cstdint>
#include <string>
#include <vector>

#include "engine/DbFormat.h"

class CDbFileBuilder {
 public:
  CDbFileBuilder();

  // Appends a record whose block holds sData followed by padding up to
  // nBlkLen bytes (at least the data size). Links and user byte are set as
  // the engine sets them. Returns the record's index.
  size_t Add(uint8_t nTable, uint32_t nKey, const std::string& sData, uint32_t nBlkLen = 0,
             char cStatus = STATUS_USED);
  // Appends bytes after the last block (not part of any record).
  void AppendRaw(const std::string& sBytes);

  stDataHeader& Header(size_t i) { return m_records[i].header; }
  uint32_t Loc(size_t i) const { return m_naLoc[i]; }
  size_t Count() const { return m_records.size(); }

  std::string Bytes() const;
  bool Write(const std::string& sPath) const;

 private:
  struct stRecord {
    stDataHeader header;
    std::string sBlock;  // the whole data block as laid out
  };
  std::vector<stRecord> m_records;
  std::vector<uint32_t> m_naLoc;
  std::string m_sTrailing;
  uint32_t m_nEnd = DB_FIRST_RECORD_LOC;
};

// Data of record n of a test file: recognisable bytes, with "UU" pairs and a
// stray "U" inside so that the delimiter scan meets them.
std::string TestRecordData(int n, size_t nSize);

// File helpers.
std::string FileBytes(const std::string& sPath);
void PatchFile(const std::string& sPath, uint32_t nLoc, const std::string& sBytes);
void PatchHeader(const std::string& sPath, uint32_t nLoc, const stDataHeader& header);
stDataHeader HeaderAt(const std::string& sPath, uint32_t nLoc);
void TruncateFile(const std::string& sPath, uint32_t nSize);
std::string PackedHeader(const stDataHeader& header);
