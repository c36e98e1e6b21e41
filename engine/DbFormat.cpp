#include "engine/DbFormat.h"

namespace {

void PutUint16(uint8_t* p, uint16_t n) {
  p[0] = uint8_t(n);
  p[1] = uint8_t(n >> 8);
}

uint16_t GetUint16(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }

const char* const kTableNames[DB_TABLE_NAMES] = {
    "Database",          "Flags table",    "Parameters table", "Font table",
    "Page layout table", "Category table", "Person table",     "Mail list table",
    "Schedule table",    "Log table"};

}  // namespace

void PutUint32(uint8_t* p, uint32_t n) {
  p[0] = uint8_t(n);
  p[1] = uint8_t(n >> 8);
  p[2] = uint8_t(n >> 16);
  p[3] = uint8_t(n >> 24);
}

uint32_t GetUint32(const uint8_t* p) {
  return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

void PackHeader(const stDataHeader& h, uint8_t* p) {
  p[0] = h.cDelims[0];
  p[1] = h.cDelims[1];
  PutUint16(p + 2, h.nReserved2);
  PutUint32(p + 4, h.nCurrLoc);
  PutUint32(p + 8, h.nNextLoc);
  PutUint32(p + 12, h.nPrevLoc);
  PutUint16(p + 16, h.nBlkLen);
  PutUint16(p + 18, h.nDataLen);
  p[20] = h.nTable;
  p[21] = h.nSubTable;
  PutUint16(p + 22, h.nReserved22);
  PutUint32(p + 24, h.nKey);
  PutUint32(p + 28, h.nSubKey);
  p[32] = h.nUser;
  p[33] = uint8_t(h.cStatus);
  p[34] = h.nLockOwner;
  p[35] = h.nReserved35;
}

stDataHeader UnpackHeader(const uint8_t* p) {
  stDataHeader h;
  h.cDelims[0] = p[0];
  h.cDelims[1] = p[1];
  h.nReserved2 = GetUint16(p + 2);
  h.nCurrLoc = GetUint32(p + 4);
  h.nNextLoc = GetUint32(p + 8);
  h.nPrevLoc = GetUint32(p + 12);
  h.nBlkLen = GetUint16(p + 16);
  h.nDataLen = GetUint16(p + 18);
  h.nTable = p[20];
  h.nSubTable = p[21];
  h.nReserved22 = GetUint16(p + 22);
  h.nKey = GetUint32(p + 24);
  h.nSubKey = GetUint32(p + 28);
  h.nUser = p[32];
  h.cStatus = char(p[33]);
  h.nLockOwner = p[34];
  h.nReserved35 = p[35];
  return h;
}

const char* StatusLabel(char cStatus) {
  switch (cStatus) {
    case STATUS_DELETED: return ".DELETED";
    case STATUS_MARKDEL: return ".MARKDEL";
    case STATUS_LOCKED: return ".LOCKED";
    case STATUS_NULL: return ".NULL";
    default: return ".USED";
  }
}

uint32_t KeyRangeLow(uint8_t nUser) {
  return nUser == 0 ? 0xFF000000u : uint32_t(nUser - 1) << 24;
}

uint32_t KeyRangeEnd(uint8_t nUser) {
  // User 0 stops below 0xFFFFFFFE and 0xFFFFFFFF, which mean "sequence" and "none".
  return nUser == 0 ? 0xFFFFFFFEu : uint32_t(nUser) << 24;
}

uint8_t UserFromKey(uint32_t nKey, uint8_t nCurrentUser) {
  if (nKey == DB_NONE) return nCurrentUser;
  return uint8_t((nKey >> 24) + 1);
}

const char* DefaultTableName(int nTable) {
  return (nTable >= 0 && nTable < DB_TABLE_NAMES) ? kTableNames[nTable] : "";
}
