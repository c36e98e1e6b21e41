#include "data/CDuplicateFinder.h"

#include <cctype>

#include "data/CPerson.h"
#include "support/StringUtil.h"

namespace {
constexpr size_t MIN_PHONE_DIGITS = 7;  // shorter numbers are extensions, not a person's own
}

std::string CDuplicateFinder::NameKey(const CPerson& p) {
  const std::string sLast = FoldForMatch(p.m_sLastName), sFirst = FoldForMatch(p.m_sFirstName);
  if (sLast.empty() && sFirst.empty()) return {};
  return std::string(1, p.m_cType == 'B' ? 'B' : 'P') + sLast + '\x1F' + sFirst;
}

std::string CDuplicateFinder::EmailKey(const CPerson& p) { return ToLower(Trim(p.m_sEmail)); }

std::vector<std::string> CDuplicateFinder::PhoneKeys(const CPerson& p) {
  std::vector<std::string> sa;
  for (const std::string* pPhone : {&p.m_sHomePhone, &p.m_sWorkPhone, &p.m_sCellPhone, &p.m_sFax}) {
    std::string sDigits;
    for (char c : *pPhone)
      if (std::isdigit(static_cast<unsigned char>(c))) sDigits += c;
    if (sDigits.size() >= MIN_PHONE_DIGITS) sa.push_back(std::move(sDigits));
  }
  return sa;
}

void CDuplicateFinder::Add(const CPerson& p) { Add(p, p.m_nCode); }

void CDuplicateFinder::Add(const CPerson& p, uint32_t nCode) {
  if (const std::string s = NameKey(p); !s.empty()) m_names[s].push_back(nCode);
  if (const std::string s = EmailKey(p); !s.empty()) m_emails[s].push_back(nCode);
  for (const std::string& s : PhoneKeys(p)) m_phones[s].push_back(nCode);
}

uint32_t CDuplicateFinder::Lookup(const CKeyIndex& index, const std::string& sKey, uint32_t nSkipCode) {
  if (sKey.empty()) return DB_NONE;
  const auto it = index.find(sKey);
  if (it == index.end()) return DB_NONE;
  for (uint32_t nCode : it->second)
    if (nCode != nSkipCode) return nCode;
  return DB_NONE;
}

uint32_t CDuplicateFinder::Find(const CPerson& p, uint32_t nSkipCode, std::string* pWhy) const {
  auto found = [pWhy](uint32_t nCode, const char* pReason) {
    if (pWhy && nCode != DB_NONE) *pWhy = pReason;
    return nCode != DB_NONE;
  };
  uint32_t nCode = Lookup(m_names, NameKey(p), nSkipCode);
  if (found(nCode, "same name")) return nCode;
  nCode = Lookup(m_emails, EmailKey(p), nSkipCode);
  if (found(nCode, "same e-mail address")) return nCode;
  for (const std::string& s : PhoneKeys(p)) {
    nCode = Lookup(m_phones, s, nSkipCode);
    if (found(nCode, "same phone number")) return nCode;
  }
  return DB_NONE;
}

bool CDuplicateFinder::KeysDiffer(const CPerson& a, const CPerson& b) {
  return NameKey(a) != NameKey(b) || EmailKey(a) != EmailKey(b) || PhoneKeys(a) != PhoneKeys(b);
}
