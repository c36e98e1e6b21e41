#include "data/CDuplicateFinder.h"

#include <algorithm>
#include <cctype>

#include "data/CPerson.h"
#include "support/StringUtil.h"

namespace {
constexpr size_t MIN_PHONE_DIGITS = 7;  // shorter numbers are extensions, not a person's own
constexpr size_t kPrefetchAhead = 8;
bool IsBlank(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }
char Lower(char c) { return char(std::tolower(static_cast<unsigned char>(c))); }
char TypeKey(const CPerson& p) { return p.m_cType == 'B' ? 'B' : 'P'; }
}  // namespace

std::string CDuplicateFinder::NameKey(const CPerson& p) {
  const std::string sLast = FoldForMatch(p.m_sLastName), sFirst = FoldForMatch(p.m_sFirstName);
  if (sLast.empty() && sFirst.empty()) return {};
  return std::string(1, TypeKey(p)) + sLast + '\x1F' + sFirst;
}

std::string CDuplicateFinder::EmailKey(const CPerson& p) { return ToLower(Trim(p.m_sEmail)); }

std::array<const std::string*, 4> CDuplicateFinder::Phones(const CPerson& p) {
  return {&p.m_sHomePhone, &p.m_sWorkPhone, &p.m_sCellPhone, &p.m_sFax};
}

std::vector<std::string> CDuplicateFinder::PhoneKeys(const CPerson& p) {
  std::vector<std::string> sa;
  for (const std::string* pPhone : Phones(p)) {
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

// The ASCII walk does what the fold does (outer blanks dropped, inner runs
// of blanks one space, lower case) and stops at the first difference; a text
// with other bytes is folded.
bool CDuplicateFinder::FoldsTo(std::string_view s, std::string_view sFolded) {
  size_t j = 0;
  bool bBlank = false;
  for (const char c : s) {
    if (static_cast<unsigned char>(c) >= 0x80) return FoldForMatch(s) == sFolded;
    if (IsBlank(c)) {
      bBlank = j > 0;
      continue;
    }
    if (bBlank && (j >= sFolded.size() || sFolded[j++] != ' ')) return false;
    bBlank = false;
    if (j >= sFolded.size() || sFolded[j++] != Lower(c)) return false;
  }
  return j == sFolded.size();
}

bool CDuplicateFinder::TrimsLowerTo(std::string_view s, std::string_view sKey) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s.size() == sKey.size() &&
         std::equal(s.begin(), s.end(), sKey.begin(), [](char c, char k) { return Lower(c) == k; });
}

bool CDuplicateFinder::DigitsAre(std::string_view s, std::string_view sDigits) {
  size_t j = 0;
  for (const char c : s)
    if (std::isdigit(static_cast<unsigned char>(c)) && (j >= sDigits.size() || sDigits[j++] != c))
      return false;
  return j == sDigits.size();
}

uint32_t CDuplicateFinder::FindInTable(const CPerson& p, const CIndexArray& persons, uint32_t nSkipCode,
                                       std::string* pWhy) {
  const std::string sLast = FoldForMatch(p.m_sLastName), sFirst = FoldForMatch(p.m_sFirstName);
  const bool bName = !sLast.empty() || !sFirst.empty();
  const std::string sEmail = EmailKey(p);
  const std::vector<std::string> saPhones = PhoneKeys(p);
  // The first person of each kind of match, in the order Find tries them:
  // the name (which ends the walk), the e-mail address, each phone number.
  std::vector<uint32_t> naFirst(2 + saPhones.size(), DB_NONE);
  for (size_t i = 0; i < persons.size(); ++i) {
    // Each person is an allocation of its own: asking for the ones a few
    // places ahead keeps the walk from waiting on memory at every person.
    if (i + kPrefetchAhead < persons.size()) {
      const char* pAhead = reinterpret_cast<const char*>(persons[i + kPrefetchAhead].m_pItem.get());
      __builtin_prefetch(pAhead);
      __builtin_prefetch(pAhead + 64);
    }
    const stIndex& e = persons[i];
    if (e.m_nCode == nSkipCode) continue;
    const auto& o = static_cast<const CPerson&>(*e.m_pItem);
    if (bName && TypeKey(o) == TypeKey(p) && FoldsTo(o.m_sLastName, sLast) &&
        FoldsTo(o.m_sFirstName, sFirst)) {
      naFirst[0] = e.m_nCode;
      break;
    }
    if (naFirst[1] == DB_NONE && !sEmail.empty() && TrimsLowerTo(o.m_sEmail, sEmail)) naFirst[1] = e.m_nCode;
    for (size_t k = 0; k < saPhones.size(); ++k)
      if (naFirst[2 + k] == DB_NONE &&
          std::ranges::any_of(Phones(o), [&](const std::string* s) { return DigitsAre(*s, saPhones[k]); }))
        naFirst[2 + k] = e.m_nCode;
  }
  static const char* const kWhy[] = {"same name", "same e-mail address", "same phone number"};
  for (size_t k = 0; k < naFirst.size(); ++k)
    if (naFirst[k] != DB_NONE) {
      if (pWhy) *pWhy = kWhy[std::min<size_t>(k, 2)];
      return naFirst[k];
    }
  return DB_NONE;
}

bool CDuplicateFinder::KeysDiffer(const CPerson& a, const CPerson& b) {
  return NameKey(a) != NameKey(b) || EmailKey(a) != EmailKey(b) || PhoneKeys(a) != PhoneKeys(b);
}
