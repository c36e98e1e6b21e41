#pragma once
// The bytes of a database file: the 1024-byte header area, the 36-byte record
// header and its chain, status characters, table codes and key ranges. Every
// copy of the program reads and writes these bytes in place, so the layout is
// fixed and little-endian whatever the host.

#include <cstdint>
#include <string>

constexpr uint32_t DB_NONE = 0xFFFFFFFF;            // no location, no key, end of chain
constexpr uint32_t DB_MAX_LOCATION = 0xFFFFFFFE;    // the highest usable location
constexpr uint32_t DB_FORMAT_VERSION = 0;           // the version this program writes
constexpr uint32_t DB_HEADER_AREA_SIZE = 1024;
constexpr uint32_t DB_FIRST_RECORD_LOC = 1024;
constexpr uint32_t DB_HEADER_LEN = 36;              // size of one record header
constexpr uint32_t DB_MAX_BLOCK = 65535;            // largest data block (16-bit BlkLen)
constexpr uint32_t DB_BUFFER_SIZE = 65536;          // size of the record buffer m_cBuffer

// Header area offsets.
constexpr uint32_t LOC_FORMAT_VERSION = 0;
constexpr uint32_t LOC_CLOSED_OK = 4;               // nClosedOK: 1 closed properly, 0 open
constexpr uint32_t LOC_ROOT_NAME = 8;
constexpr uint32_t ROOT_NAME_FIELD = 78;            // root name field incl. its NUL
constexpr uint32_t LOC_LOCKALLTABLES_FLAG = 256;    // database lock byte; table t at 256 + t
constexpr uint32_t LOC_LOCK_AREA_END = 1024;        // bytes 256..1023 are cleared by a lock reset

// Table codes.
enum eDbTable : uint8_t {
  TABLE_DATABASE = 0,
  TABLE_FLAGS = 1,
  TABLE_PARAMETERS = 2,
  TABLE_FONT = 3,
  TABLE_PAGELAYOUT = 4,
  TABLE_CATEGORY = 5,
  TABLE_PERSON = 6,
  TABLE_MAILLIST = 7,
  TABLE_SCHEDULE = 8,
  TABLE_LOG = 9,
  TABLE_HEADER = 254,  // a record header, key = its location (refresh notices)
  TABLE_ALL = 255,     // all tables / the whole database
};
constexpr int DB_FIRST_TABLE = 1;
constexpr int DB_LAST_TABLE = 9;
constexpr int DB_TABLE_NAMES = 10;  // names for codes 0..9

// Record status characters.
constexpr char STATUS_USED = '+';
constexpr char STATUS_LOCKED = '*';
constexpr char STATUS_MARKDEL = '#';
constexpr char STATUS_DELETED = '-';
constexpr char STATUS_NULL = 0;
constexpr uint8_t HEADER_DELIM = 'U';

// Lock test kinds.
enum eLockKind : int { LOCK_BY_ANYONE = 1, LOCK_BY_OTHER = 2, LOCK_BY_ME = 3 };

// The 36-byte record header, field for field. Reserved bytes are kept as read
// so that a header rewritten from the file carries them unchanged.
struct stDataHeader {
  uint8_t cDelims[2] = {HEADER_DELIM, HEADER_DELIM};  // offset 0
  uint16_t nReserved2 = 0;                            // offset 2
  uint32_t nCurrLoc = DB_FIRST_RECORD_LOC;            // offset 4
  uint32_t nNextLoc = DB_NONE;                        // offset 8
  uint32_t nPrevLoc = DB_NONE;                        // offset 12
  uint16_t nBlkLen = 0;                               // offset 16
  uint16_t nDataLen = 0;                              // offset 18
  uint8_t nTable = 0;                                 // offset 20
  uint8_t nSubTable = 0;                              // offset 21
  uint16_t nReserved22 = 0;                           // offset 22
  uint32_t nKey = 0;                                  // offset 24
  uint32_t nSubKey = 0;                               // offset 28
  uint8_t nUser = 0;                                  // offset 32
  char cStatus = STATUS_NULL;                         // offset 33
  uint8_t nLockOwner = 0;                             // offset 34
  uint8_t nReserved35 = 0;                            // offset 35

  bool operator==(const stDataHeader&) const = default;
};

// True when the bytes read at nLoc are a record header of this chain: both
// delimiters and its own location. Nothing else may be repaired in place.
inline bool IsRecordHeaderAt(const stDataHeader& h, uint32_t nLoc) {
  return h.cDelims[0] == HEADER_DELIM && h.cDelims[1] == HEADER_DELIM && h.nCurrLoc == nLoc;
}

// Byte codec of the header (little-endian, at the offsets above).
void PackHeader(const stDataHeader& header, uint8_t* pOut36);
stDataHeader UnpackHeader(const uint8_t* pIn36);

// Little-endian 32-bit helpers for the header area.
void PutUint32(uint8_t* p, uint32_t n);
uint32_t GetUint32(const uint8_t* p);

// A live record is neither free ("-") nor kept as deleted ("#").
inline bool IsLiveStatus(char cStatus) {
  return cStatus != STATUS_DELETED && cStatus != STATUS_MARKDEL;
}
// Dump label of a status: ".USED", ".LOCKED", ".MARKDEL", ".DELETED", ".NULL".
const char* StatusLabel(char cStatus);

// Key ranges: user u owns [(u - 1) << 24, u << 24). User 0 owns the top range
// 0xFF000000 .. 0xFFFFFFFD, so its keys never collide with another user's.
uint32_t KeyRangeLow(uint8_t nUser);
uint32_t KeyRangeEnd(uint8_t nUser);  // exclusive
// The header's user byte for a key: (key >> 24) + 1 as one byte; the writing
// copy's own user number for key 0xFFFFFFFF.
uint8_t UserFromKey(uint32_t nKey, uint8_t nCurrentUser);

// The default names of table codes 0..9 ("Database", "Flags table", ...).
const char* DefaultTableName(int nTable);
