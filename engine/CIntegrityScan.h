#pragma once
// Read-only inspection of a database file's record chain: the walk of the
// chain from location 1024 and the delimiter ("UU") scan for record headers
// the chain no longer reaches. Nothing here writes to the file, so the walk
// can serve the test, the repair and the record dump alike, also on a file
// that other copies have open.
//
// The walk accepts a header only where it can trust it: its delimiters are
// "UU" and its CurrLoc equals its location, or the location is confirmed
// twice over (the previous record's NextLoc and the end of its block agree,
// or it is the first record location) and two of delimiters, CurrLoc and the
// back link agree. A NextLoc bent into another record's data therefore never
// makes the walk step onto data; the walk then takes the end of the block.

#include <cstdint>
#include <string>
#include <vector>

#include "engine/DbFormat.h"

class CDbFileAccess;
class CDialogWaitBox;

// One header as the walk or the scan found it, with the location it was
// found at (its CurrLoc may be wrong).
struct stFoundHeader {
  uint32_t nLoc = DB_NONE;
  stDataHeader header;
};

// The per-header test results: each flag is true when its test passed.
struct stHeaderTest {
  bool bStatus = true;
  bool bUser = true;
  bool bTable = true;
  bool bBlockSize = true;
  bool bDataLen = true;
  bool bCurrLoc = true;
  bool bPrevLink = true;
  bool bNextLink = true;
  int nErrors = 0;
};

class CIntegrityScan {
 public:
  explicit CIntegrityScan(CDbFileAccess& file);

  // The file size (at most 0xFFFFFFFF), 0xFFFFFFFF when it cannot be read.
  uint32_t ReadFileSize();

  // Walks the chain from 1024. The headers walked, in chain order.
  std::vector<stFoundHeader> WalkChain(CDialogWaitBox* pBox);
  // The delimiter scan: every offset from 1024 holding "UU" whose 36 bytes
  // lie in the file and whose CurrLoc is that offset, kept when its status,
  // user, table and lengths are plausible. Ascending, without repeats.
  std::vector<stFoundHeader> ScanDelimiters(CDialogWaitBox* pBox);

  // The locations of WalkChain (the record dump's list of lines).
  void FindAllHeaders(std::vector<uint32_t>& naChain, CDialogWaitBox* pBox);
  void FindHeadersFromDelimiters(std::vector<uint32_t>& naCandidates, CDialogWaitBox* pBox);

  // True when a read inside the file failed (another copy held the range
  // beyond the wait, or an I/O error): the lists stop there and are not
  // complete, so nothing may be repaired from them.
  bool ReadFailed() const { return m_bReadFailed; }
  uint32_t FailedLocation() const { return m_nFailedLoc; }
  // True when the walk found no acceptable header at 1024 in a file that is
  // long enough to hold one.
  bool FirstHeaderInvalid() const { return m_bFirstInvalid; }
  uint32_t FileSize() const { return m_nFileSize; }

  // Tests one header against the expected neighbours (0xFFFFFFFF: none).
  // Returns the number of counted errors (the current location is not counted).
  static int TestHeader(uint32_t nLoc, uint32_t nExpectedPrev, uint32_t nExpectedNext,
                        const stDataHeader& header, stHeaderTest& result);
  // "Ok" for true, "Invalid" otherwise.
  static const char* BOOLtoOkString(bool bValue);

  static bool IsValidStatus(char cStatus);
  // A user byte from 1 to 255, or 0 on a record whose key lies in the range
  // of user 0 (a copy whose user number could not be found writes those).
  static bool IsValidUser(const stDataHeader& header);
  static bool HasDelimiters(const stDataHeader& header);

 private:
  // Reads the 36 bytes at nLoc when they lie in the file; false when they do
  // not or the read failed (then ReadFailed() is set).
  bool ReadHeaderAt(uint32_t nLoc, stDataHeader& header);
  // The header at nLoc when the walk may step there from the record at nFrom.
  bool AcceptAt(uint32_t nLoc, uint32_t nFrom, bool bConfirmed, stDataHeader& header);
  // The next header of the walk after the record h at nLoc, if any.
  bool NextInWalk(uint32_t nLoc, const stDataHeader& h, stFoundHeader& next);
  bool ReadBlock(uint32_t nLoc, uint8_t* pBuffer, uint32_t nSize);

  CDbFileAccess& m_file;
  uint32_t m_nFileSize = 0;
  bool m_bReadFailed = false;
  uint32_t m_nFailedLoc = DB_NONE;
  bool m_bFirstInvalid = false;
};
