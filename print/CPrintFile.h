#pragma once
// The print file "PRNTFILE.PRN" in the program folder: the lines of one print
// job, written by the caller and read back by the print engine. Each record is
// a 4-byte format reference, a type letter and the text as a length-prefixed
// string (one length byte below 255; else 0xFF and a 16-bit length below
// 0xFFFF; else 0xFF 0xFFFF and a 32-bit length; little-endian, no
// terminator). The file ends with a record whose text is the end marker.
//
// The format reference is an index into this run's table of format copies,
// made while the file is written (a pointer does not fit 4 bytes, and a copy
// stays valid when the database's formats are re-read meanwhile). A reference
// the table does not hold reads as the built-in default format.
//
// Reading is bounded by the file: a length beyond the rest of the file, a
// short read or a file without the end marker ends the reading as damaged,
// and nothing is ever allocated beyond what the file holds.

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "print/FmtString.h"

class CPrintFile {
 public:
  enum eReadStatus { READ_OK, READ_END_MARKER, READ_DAMAGED };

  ~CPrintFile();
  CPrintFile(const CPrintFile&) = delete;
  CPrintFile& operator=(const CPrintFile&) = delete;

  // "PRNTFILE.PRN" in the program folder.
  static std::string DefaultPath();

  // A new print file (replacing the old one) and a fresh table of format
  // copies; lines read from an earlier print file must not be used after it.
  // Null when the file cannot be created or a print job is reading it.
  static std::unique_ptr<CPrintFile> OpenPrintFile(const std::string& sPath = DefaultPath());
  // Writes one record; 0 when the file could not take it.
  int WriteFmtString(const stFmtString& line);
  // Writes the end marker and closes; 1 when the whole file reached the disk.
  int ClosePrintFile();

  // Opens a print file for reading; null with sError set when it cannot be opened.
  static std::unique_ptr<CPrintFile> OpenForReading(const std::string& sPath, std::string& sError);
  // 1 with the next line; 0 at the end marker or when the file is damaged
  // (Status() tells which).
  int ReadFmtString(stFmtString& line);
  eReadStatus Status() const { return m_eStatus; }

  // Reads a whole print file through: true when every record is sound up to
  // the end marker; otherwise false with the message for the user.
  static bool CheckPrintFile(const std::string& sPath, std::string& sError);

  // The format a reference stands for in the current print file; the built-in
  // default (Courier New, 9 point) for an unknown one.
  static const stFormatRecord* JobFormat(uint32_t nReference);
  static const stFormatRecord& BuiltInFormat();

  // Set while a print job reads the print file, so that no one rewrites it
  // under the job.
  static void SetJobActive(bool bActive);
  static bool JobActive();

 private:
  CPrintFile(std::FILE* pFile, bool bWriting, long long nSize);
  bool ReadBytes(void* p, size_t n);
  bool ReadLength(uint64_t& nLength);

  std::FILE* m_pFile;
  bool m_bWriting;
  bool m_bWriteFailed = false;
  long long m_nSize;      // reading: the file's size
  long long m_nPos = 0;   // reading: bytes consumed
  eReadStatus m_eStatus = READ_OK;
};
