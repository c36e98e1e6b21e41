#pragma once
// Test helpers that look at and change a database file from outside the
// table manager: the record chain as the file's bytes hold it, single bytes,
// raw records written through a bare record engine, and a second process
// that holds the file open.

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "engine/CDbEngine.h"
#include "engine/CSharedFile.h"
#include "engine/DbFormat.h"

inline std::vector<uint8_t> FileBytes(const std::string& sPath) {
  std::ifstream f(sPath, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(f), {});
}

// The headers reached from 1024 by following NextLoc in the file's bytes.
inline std::vector<stDataHeader> ChainOf(const std::string& sPath) {
  const std::vector<uint8_t> b = FileBytes(sPath);
  std::vector<stDataHeader> ha;
  uint64_t nLoc = DB_FIRST_RECORD_LOC;
  while (nLoc + DB_HEADER_LEN <= b.size() && ha.size() < 1000000) {
    ha.push_back(UnpackHeader(b.data() + nLoc));
    if (ha.back().nNextLoc == DB_NONE || ha.back().nNextLoc <= nLoc) break;
    nLoc = ha.back().nNextLoc;
  }
  return ha;
}

inline int CountLive(const std::string& sPath, uint8_t nTable) {
  int n = 0;
  for (const auto& h : ChainOf(sPath))
    if (h.nTable == nTable && IsLiveStatus(h.cStatus)) ++n;
  return n;
}

inline std::vector<uint8_t> PayloadAt(const std::string& sPath, const stDataHeader& h) {
  const std::vector<uint8_t> b = FileBytes(sPath);
  const size_t nStart = size_t(h.nCurrLoc) + DB_HEADER_LEN;
  return std::vector<uint8_t>(b.begin() + long(nStart), b.begin() + long(nStart + h.nDataLen));
}

inline void PokeBytes(const std::string& sPath, uint32_t nLoc, const std::vector<uint8_t>& bytes) {
  std::fstream f(sPath, std::ios::binary | std::ios::in | std::ios::out);
  f.seekp(nLoc);
  f.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

inline uint8_t ByteAt(const std::string& sPath, uint32_t nLoc) { return FileBytes(sPath).at(nLoc); }

inline uint32_t U32At(const std::string& sPath, uint32_t nLoc) {
  const auto b = FileBytes(sPath);
  return GetUint32(b.data() + nLoc);
}

// Another writer of the file: records go in through a bare record engine,
// as another program would write them.
class CRawWriter {
 public:
  explicit CRawWriter(const std::string& sPath) {
    m_bOpen = m_engine.OpenDB(sPath, false) != eOpenResult::Failed;
    if (m_bOpen) m_engine.MakeFileHeaderArray(nullptr, 1, nullptr);
  }
  ~CRawWriter() { m_engine.CloseDB(); }
  bool IsOpen() const { return m_bOpen; }
  uint32_t Write(uint8_t nTable, uint32_t nKey, const std::vector<uint8_t>& bytes) {
    std::copy(bytes.begin(), bytes.end(), m_engine.m_cBuffer);
    return m_engine.WriteRecord(uint32_t(bytes.size()), nTable, nKey, 0, 0);
  }
  int Delete(uint8_t nTable, uint32_t nKey, int nFree) {
    const uint32_t nLoc = m_engine.GetItemFileLoc(nTable, nKey, 0, 0);
    return nLoc == DB_NONE ? 0 : m_engine.DeleteRecord(nLoc, nFree, 1);
  }
  CDbEngine& Engine() { return m_engine; }

 private:
  CDbEngine m_engine;
  bool m_bOpen = false;
};

// A child process that holds the file open (its presence lock) until released.
class CFileHolder {
 public:
  explicit CFileHolder(const std::string& sPath) {
    int fdReady[2], fdGo[2];
    if (pipe(fdReady) != 0 || pipe(fdGo) != 0) return;
    m_nPid = fork();
    if (m_nPid == 0) {
      close(fdReady[0]);
      close(fdGo[1]);
      CSharedFile f;
      const char c = (f.OpenExisting(sPath) && f.TakePresence(false) == IO_OK) ? 'y' : 'n';
      if (write(fdReady[1], &c, 1) != 1) _exit(2);
      char cGo;
      while (read(fdGo[0], &cGo, 1) < 0) {
      }
      _exit(0);
    }
    close(fdReady[1]);
    close(fdGo[0]);
    m_nGoFd = fdGo[1];
    char c = 0;
    m_bHolding = read(fdReady[0], &c, 1) == 1 && c == 'y';
    close(fdReady[0]);
  }
  ~CFileHolder() { Release(); }
  bool Holding() const { return m_bHolding; }
  void Release() {
    if (m_nPid <= 0) return;
    if (write(m_nGoFd, "g", 1) != 1) kill(m_nPid, SIGKILL);
    close(m_nGoFd);
    int nStatus = 0;
    waitpid(m_nPid, &nStatus, 0);
    m_nPid = -1;
  }

 private:
  pid_t m_nPid = -1;
  int m_nGoFd = -1;
  bool m_bHolding = false;
};
