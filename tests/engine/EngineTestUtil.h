#pragma once
// Helpers of the engine tests: an independent reader of the file's bytes
// (so the tests never check the engine with itself), record payloads that
// carry their own identity, and child processes.

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "engine/CDbEngine.h"

// Raw file bytes.
std::string ReadFileBytes(const std::string& sPath);
uint32_t RawUint32(const std::string& sBytes, uint32_t nLoc);

// One record of the chain as found in the raw bytes.
struct stRawRecord {
  stDataHeader header;
  std::string sData;  // DataLen bytes
};

// Walks the chain from 1024 in the raw bytes. Appends a description of every
// fault (bad link, overlap, bad delimiter, data past the block) to pFaults.
std::vector<stRawRecord> WalkRawChain(const std::string& sBytes, std::vector<std::string>* pFaults);

// A payload that names its table, key and version, padded to nSize bytes.
std::string MakePayload(uint8_t nTable, uint32_t nKey, uint32_t nVersion, uint32_t nSize);
// Reads back what MakePayload wrote; false when the bytes are not one.
bool ParsePayload(const std::string& sData, uint8_t& nTable, uint32_t& nKey, uint32_t& nVersion);

// Writes a payload through the engine's record buffer.
uint32_t WritePayload(CDbEngine& db, uint8_t nTable, uint32_t nKey, const std::string& sData);
// Reads the record at nLoc into a string ("" on failure).
std::string ReadPayload(CDbEngine& db, uint32_t nLoc);

// Runs fn in a child process; returns its exit status (fn's result), or -1
// when it died by a signal. fnChild must not return to the test framework.
pid_t StartChild(const std::function<int()>& fnChild);
int WaitChild(pid_t nPid);
int RunChild(const std::function<int()>& fnChild);

// A pipe pair for handshakes between a test and its child processes.
class CSignalPipe {
 public:
  CSignalPipe();
  ~CSignalPipe();
  void Send(char c = 'x');
  // Waits up to nSeconds for one byte; false on timeout.
  bool Wait(int nSeconds = 30, char* pGot = nullptr);

 private:
  int m_naFd[2];
};
