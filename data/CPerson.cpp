#include "data/CPerson.h"

namespace {

// The string fields in stored order, with the names the failure text uses.
template <class P, class F>
void ForEachText(P& p, F fn) {
  fn(p.m_sLastName, "last name");
  fn(p.m_sFirstName, "first name");
  fn(p.m_sAddress1, "address line 1");
  fn(p.m_sAddress2, "address line 2");
  fn(p.m_sCity, "city");
  fn(p.m_sState, "state");
  fn(p.m_sZip, "ZIP");
  fn(p.m_sCountry, "country");
  fn(p.m_sHomePhone, "home phone");
  fn(p.m_sWorkPhone, "work phone");
  fn(p.m_sCellPhone, "cell phone");
  fn(p.m_sFax, "fax");
  fn(p.m_sEmail, "email");
}

}  // namespace

uint32_t CPerson::LoadBufferPerson(stRecordBuffer& b) const {
  uint32_t n = LoadBuffer(b, 0, m_nSequence);
  n = LoadBuffer(b, n, m_cFlag);
  n = LoadBuffer(b, n, m_nCode);
  n = LoadBuffer(b, n, m_cType);
  n = LoadBuffer(b, n, m_cStatus);
  n = LoadBuffer(b, n, m_nDependentOn);
  ForEachText(*this, [&](const std::string& s, const char* pName) { n = LoadBuffer(b, n, s, pName); });
  n = LoadBuffer(b, n, m_saComments, "comments");
  n = LoadBuffer(b, n, m_naCategories);
  return b.m_bFailed ? 0 : n;
}

int CPerson::ReadBufferPerson(stRecordBuffer& b) {
  CPerson t;
  if (!t.ReadBufferPersonInPlace(b)) return 0;
  *this = std::move(t);
  return 1;
}

int CPerson::ReadBufferPersonInPlace(stRecordBuffer& b) {
  uint32_t n = ReadBuffer(b, 0, m_nSequence);
  n = ReadBuffer(b, n, m_cFlag);
  n = ReadBuffer(b, n, m_nCode);
  n = ReadBuffer(b, n, m_cType);
  n = ReadBuffer(b, n, m_cStatus);
  n = ReadBuffer(b, n, m_nDependentOn);
  ForEachText(*this, [&](std::string& s, const char*) { n = ReadBuffer(b, n, s); });
  n = ReadBuffer(b, n, m_saComments);
  ReadBuffer(b, n, m_naCategories);
  return b.m_bFailed ? 0 : 1;
}

void CPerson::SetStatus(char cStatus) {
  m_cStatus = cStatus;
  if (cStatus != 'D') m_nDependentOn = DB_NONE;
}
