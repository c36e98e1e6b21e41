#pragma once
// What the acknowledgement logs of "kelvotool session" copies ("stress
// COUNT SEED ACKLOG") say the file must hold: every person added and not
// deleted with its name and every token an edit appended to it, every
// schedule item with the description of its last edit.

#include <cstdint>
#include <map>
#include <set>
#include <string>

class CTableManager;

class CAckModel {
 public:
  // Applies one log; the operation tried last and never answered (the copy
  // was killed in it) goes to *pPending, "" when none.
  void Apply(const std::string& sLogPath, std::string* pPending);
  // Counts (and reports as test failures) what the loaded tables lack; the
  // pending operation may or may not have happened.
  int CountLost(CTableManager& db, const std::string& sPending) const;
  // Takes what the tables hold as the state the next logs start from.
  void Adopt(CTableManager& db);
  size_t Acknowledged() const { return m_nAcknowledged; }

 private:
  struct stPerson {
    std::string sName;
    std::set<std::string> tokens;
  };
  std::map<uint32_t, stPerson> m_persons;
  std::map<uint32_t, std::string> m_schedule;
  size_t m_nAcknowledged = 0;
};
