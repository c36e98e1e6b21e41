#include "AckModel.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sstream>

#include "items/ItemTestCopies.h"
#include "support/StringUtil.h"

void CAckModel::Apply(const std::string& sLogPath, std::string* pPending) {
  std::ifstream in(sLogPath);
  pPending->clear();
  for (std::string sLine; std::getline(in, sLine);) {
    if (sLine.rfind("try ", 0) == 0) {
      *pPending = sLine.substr(4);
      continue;
    }
    pPending->clear();
    if (sLine.rfind("ok ", 0) != 0) continue;
    std::istringstream words(sLine.substr(3));
    std::string sVerb, sValue;
    int nTable = 0;
    uint32_t nCode = 0;
    if (!(words >> sVerb >> nTable >> nCode)) continue;
    words >> sValue;
    ++m_nAcknowledged;
    if (sVerb == "add" && nTable == TABLE_PERSON) m_persons[nCode].sName = sValue;
    if (sVerb == "add" && nTable == TABLE_SCHEDULE) m_schedule[nCode] = sValue;
    if (sVerb == "edit" && nTable == TABLE_PERSON) m_persons[nCode].tokens.insert(sValue);
    if (sVerb == "edit" && nTable == TABLE_SCHEDULE) m_schedule[nCode] = sValue;
    if (sVerb == "delete") (nTable == TABLE_PERSON ? m_persons.erase(nCode) : m_schedule.erase(nCode));
  }
}

int CAckModel::CountLost(CTableManager& db, const std::string& sPending) const {
  int nLost = 0;
  for (const auto& [nCode, person] : m_persons) {
    const CPerson* p = PersonOf(db, nCode);
    if (!p && sPending == StrFormat("delete %d %u", TABLE_PERSON, nCode)) continue;
    if (!p || p->m_sLastName != person.sName) {
      ++nLost;
      ADD_FAILURE() << "person " << nCode << " " << person.sName << " lost";
      continue;
    }
    for (const auto& sToken : person.tokens)
      if (std::find(p->m_saComments.begin(), p->m_saComments.end(), sToken) == p->m_saComments.end()) {
        ++nLost;
        ADD_FAILURE() << "edit " << sToken << " of person " << nCode << " lost";
      }
  }
  for (const auto& [nCode, sText] : m_schedule) {
    const CScheduleRecord* p = ScheduleOf(db, nCode);
    if (!p && sPending == StrFormat("delete %d %u", TABLE_SCHEDULE, nCode)) continue;
    const std::string sEdit = StrFormat("edit %d %u ", TABLE_SCHEDULE, nCode);
    if (!p || (p->m_sDescription != sText && sPending != sEdit + p->m_sDescription)) {
      ++nLost;
      ADD_FAILURE() << "schedule item " << nCode << " " << sText << " lost";
    }
  }
  return nLost;
}

void CAckModel::Adopt(CTableManager& db) {
  m_persons.clear();
  m_schedule.clear();
  for (const auto& e : db.m_caPersonIndex) {
    const auto& p = static_cast<const CPerson&>(*e.m_pItem);
    m_persons[e.m_nCode] = {p.m_sLastName, {p.m_saComments.begin(), p.m_saComments.end()}};
  }
  for (const auto& e : db.m_caScheduleIndex)
    m_schedule[e.m_nCode] = static_cast<const CScheduleRecord&>(*e.m_pItem).m_sDescription;
}
