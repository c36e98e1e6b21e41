#include "EngineTestUtil.h"

#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <sstream>

#include "support/StringUtil.h"

std::string ReadFileBytes(const std::string& sPath) {
  std::ifstream f(sPath, std::ios::binary);
  std::ostringstream ss;
  ss << f.rdbuf();
  return ss.str();
}

uint32_t RawUint32(const std::string& s, uint32_t nLoc) {
  if (nLoc + 4 > s.size()) return 0xFFFFFFFF;
  return GetUint32(reinterpret_cast<const uint8_t*>(s.data()) + nLoc);
}

std::vector<stRawRecord> WalkRawChain(const std::string& s, std::vector<std::string>* pFaults) {
  std::vector<stRawRecord> records;
  auto fault = [&](const std::string& sText) {
    if (pFaults) pFaults->push_back(sText);
  };
  uint64_t nLoc = DB_FIRST_RECORD_LOC;
  uint32_t nPrev = DB_NONE;
  while (nLoc + DB_HEADER_LEN <= s.size()) {
    stRawRecord r;
    r.header = UnpackHeader(reinterpret_cast<const uint8_t*>(s.data()) + nLoc);
    const stDataHeader& h = r.header;
    if (h.cDelims[0] != 'U' || h.cDelims[1] != 'U') fault(StrFormat("no delimiters at %u", unsigned(nLoc)));
    if (h.nCurrLoc != nLoc) fault(StrFormat("CurrLoc %u at %u", h.nCurrLoc, unsigned(nLoc)));
    if (h.nPrevLoc != nPrev) fault(StrFormat("PrevLoc %u at %u, expected %u", h.nPrevLoc, unsigned(nLoc), nPrev));
    if (h.nDataLen > h.nBlkLen) fault(StrFormat("DataLen > BlkLen at %u", unsigned(nLoc)));
    if (nLoc + DB_HEADER_LEN + h.nDataLen > s.size()) {
      fault(StrFormat("data past end of file at %u", unsigned(nLoc)));
      break;
    }
    r.sData = s.substr(nLoc + DB_HEADER_LEN, h.nDataLen);
    records.push_back(r);
    if (h.nNextLoc == DB_NONE) break;
    if (h.nNextLoc < nLoc + DB_HEADER_LEN + h.nBlkLen)
      fault(StrFormat("block at %u overlaps next header %u", unsigned(nLoc), h.nNextLoc));
    if (h.nNextLoc <= nLoc || h.nNextLoc + uint64_t(DB_HEADER_LEN) > s.size()) {
      fault(StrFormat("bad link %u at %u", h.nNextLoc, unsigned(nLoc)));
      break;
    }
    nPrev = uint32_t(nLoc);
    nLoc = h.nNextLoc;
  }
  return records;
}

std::string MakePayload(uint8_t nTable, uint32_t nKey, uint32_t nVersion, uint32_t nSize) {
  std::string s = StrFormat("T%u K%u V%u|", unsigned(nTable), nKey, nVersion);
  // The padding depends on the identity too, so a torn or mixed block shows.
  while (s.size() < nSize) s += char('a' + (nKey + nVersion + s.size()) % 26);
  s.resize(std::max<size_t>(nSize, s.size()));
  return s;
}

bool ParsePayload(const std::string& sData, uint8_t& nTable, uint32_t& nKey, uint32_t& nVersion) {
  unsigned t = 0, k = 0, v = 0;
  if (std::sscanf(sData.c_str(), "T%u K%u V%u|", &t, &k, &v) != 3) return false;
  nTable = uint8_t(t);
  nKey = k;
  nVersion = v;
  return MakePayload(nTable, nKey, nVersion, uint32_t(sData.size())) == sData;
}

uint32_t WritePayload(CDbEngine& db, uint8_t nTable, uint32_t nKey, const std::string& sData) {
  std::memcpy(db.m_cBuffer, sData.data(), sData.size());
  return db.WriteRecord(uint32_t(sData.size()), nTable, nKey, 0, 0);
}

std::string ReadPayload(CDbEngine& db, uint32_t nLoc) {
  const uint32_t n = db.ReadRecord(nLoc, 1);
  return std::string(reinterpret_cast<const char*>(db.m_cBuffer), n);
}

pid_t StartChild(const std::function<int()>& fnChild) {
  const pid_t nPid = fork();
  if (nPid == 0) {
    int n = 99;
    try {
      n = fnChild();
    } catch (...) {
    }
    _exit(n);
  }
  return nPid;
}

int WaitChild(pid_t nPid) {
  int nStatus = 0;
  if (waitpid(nPid, &nStatus, 0) != nPid) return -1;
  return WIFEXITED(nStatus) ? WEXITSTATUS(nStatus) : -1;
}

int RunChild(const std::function<int()>& fnChild) { return WaitChild(StartChild(fnChild)); }

CSignalPipe::CSignalPipe() {
  if (pipe(m_naFd) != 0) m_naFd[0] = m_naFd[1] = -1;
}

CSignalPipe::~CSignalPipe() {
  close(m_naFd[0]);
  close(m_naFd[1]);
}

void CSignalPipe::Send(char c) { (void)!write(m_naFd[1], &c, 1); }

bool CSignalPipe::Wait(int nSeconds, char* pGot) {
  pollfd p{m_naFd[0], POLLIN, 0};
  if (poll(&p, 1, nSeconds * 1000) != 1) return false;
  char c = 0;
  if (read(m_naFd[0], &c, 1) != 1) return false;
  if (pGot) *pGot = c;
  return true;
}
