#pragma once
// The ZIP container of the backup archives (PKZIP, deflate, through minizip
// and zlib). A backup archive holds exactly one entry, the database file,
// named by its file name only.
//
// Archives are read as untrusted input: an entry name is checked but never
// used as a path (the caller chooses where the data go); archives with more
// or fewer than one entry, entries that are not "*.dbm", encrypted entries,
// methods other than stored and deflate, names with "..", absolute names and
// links are refused; the data are cut off at 4 GiB and checked against the
// size and the CRC the archive states.

#include <cstdint>
#include <functional>
#include <string>

class CZipArchive {
 public:
  // Results of ZipFile.
  enum eZipResult : int { ZIP_DONE = 0, ZIP_CANNOT_CREATE = 1, ZIP_CANNOT_ADD = 2 };

  // Packs sSource as one deflated entry named sEntryName into the ZIP file
  // sZip (created or emptied); zip64 records are written from 4 GiB on.
  int ZipFile(const std::string& sSource, const std::string& sZip, const std::string& sEntryName);
  // Reads the one database entry of an archive to its end: true when the
  // archive is sound (Error() says why not).
  bool TestArchive(const std::string& sZip);
  // Unpacks the one database entry of an archive into the descriptor.
  bool UnZipFile(int nTargetFd, const std::string& sZip);

  const std::string& Error() const { return m_sError; }
  const std::string& EntryName() const { return m_sEntryName; }
  uint64_t EntrySize() const { return m_nEntrySize; }

 private:
  // Checks the archive's entry and streams its data to fnSink (false from
  // the sink stops with its error in m_sError).
  bool ReadEntry(const std::string& sZip, const std::function<bool(const char*, size_t)>& fnSink);
  bool Fail(const std::string& sText);

  std::string m_sError;
  std::string m_sEntryName;
  uint64_t m_nEntrySize = 0;
};
