#include "exchange/CVCardReader.h"

#include <memory>

#include "data/CDataRecord.h"
#include "exchange/CVCardWriter.h"
#include "exchange/CVersitReader.h"
#include "support/StringUtil.h"

namespace {

std::string Part(const std::vector<std::string>& sa, size_t i) {
  return i < sa.size() ? sa[i] : std::string();
}

// The pieces that are not empty, joined by a space.
std::string JoinSet(std::initializer_list<std::string> sa) {
  std::string s;
  for (const std::string& t : sa)
    if (!t.empty()) s += (s.empty() ? "" : " ") + t;
  return s;
}

// Takes the value into an empty field; false when the field is taken.
bool Fill(std::string& sField, const std::string& sValue) {
  if (!sField.empty()) return sValue.empty();
  sField = sValue;
  return true;
}

// The field a TEL of these types goes to.
std::string& PhoneField(CPerson& p, const stContentLine& line) {
  if (line.HasType("cell") || line.HasType("mobile")) return p.m_sCellPhone;
  if (line.HasType("fax")) return p.m_sFax;
  if (line.HasType("work")) return p.m_sWorkPhone;
  return p.m_sHomePhone;
}

// Cuts a text longer than a stored string may be, at a character boundary;
// true when it was cut.
bool FitStored(std::string& s) {
  if (s.size() < MAX_STORED_STRING) return false;
  size_t n = MAX_STORED_STRING - 1;
  while (n > 0 && (static_cast<unsigned char>(s[n]) & 0xC0) == 0x80) --n;
  s.resize(n);
  return true;
}

class CCardBuilder {
 public:
  explicit CCardBuilder(std::vector<std::string>& saProblems) : m_saProblems(saProblems) {}
  void Take(const stContentLine& line);
  stVCardEntry Finish();

 private:
  bool TakeName(const stContentLine& line);
  bool TakeAddress(const stContentLine& line);
  void Keep(const stContentLine& line);

  stVCardEntry m_entry;
  std::string m_sFullName, m_sOrg, m_sOrgLine, m_sKind, m_sNote;
  std::vector<std::string> m_saKept;
  bool m_bName = false, m_bAddress = false, m_bNote = false;
  std::vector<std::string>& m_saProblems;
};

void CCardBuilder::Take(const stContentLine& line) {
  CPerson& p = m_entry.person;
  const std::string& s = line.sName;
  bool bTaken = true;
  if (s == "VERSION" || s == "PRODID") {
    bTaken = s == "VERSION";  // PRODID names the program that wrote the file: kept
  } else if (s == "N") {
    bTaken = TakeName(line);
  } else if (s == "FN") {
    m_sFullName = CVersitReader::Unescape(line.sValue);
  } else if (s == "KIND") {
    m_sKind = ToLower(line.sValue);
  } else if (s == "ORG" && m_sOrgLine.empty()) {
    m_sOrg = Part(CVersitReader::Split(line.sValue, ';'), 0);
    m_sOrgLine = line.sLine;  // a person's organisation is kept as it stands
  } else if (s == "ADR") {
    bTaken = TakeAddress(line);
  } else if (s == "TEL") {
    bTaken = Fill(PhoneField(p, line), CVersitReader::Unescape(line.sValue));
  } else if (s == "EMAIL") {
    bTaken = Fill(p.m_sEmail, CVersitReader::Unescape(line.sValue));
  } else if (s == "NOTE" && !m_bNote) {
    m_bNote = true;
    m_sNote = CVersitReader::Unescape(line.sValue);
  } else if (s == "CATEGORIES") {
    for (const std::string& sName : CVersitReader::Split(line.sValue, ','))
      if (!Trim(sName).empty()) m_entry.saCategories.push_back(Trim(sName));
  } else if (s == "UID") {
    m_entry.sUid = line.sValue;
  } else if (s == "X-KELVO-STATUS") {
    p.m_cStatus = line.sValue == "dependent" ? 'D' : line.sValue == "inactive" ? 0 : 'A';
  } else if (s == "X-KELVO-DEPENDS-ON") {
    m_entry.sDependsOn = line.sValue;
  } else if (s == "X-KELVO-FLAG") {
    long long n = 0;
    bTaken = ParseInt(line.sValue, n) && n >= 0 && n <= 255;
    if (bTaken) p.m_cFlag = uint8_t(n);
  } else {
    bTaken = false;
  }
  if (!bTaken) Keep(line);
}

bool CCardBuilder::TakeName(const stContentLine& line) {
  if (m_bName) return false;
  m_bName = true;
  const std::vector<std::string> sa = CVersitReader::Split(line.sValue, ';');
  // family; given; additional; prefixes; suffixes
  m_entry.person.m_sLastName = JoinSet({Part(sa, 0), Part(sa, 4)});
  m_entry.person.m_sFirstName = JoinSet({Part(sa, 3), Part(sa, 1), Part(sa, 2)});
  return true;
}

bool CCardBuilder::TakeAddress(const stContentLine& line) {
  if (m_bAddress) return false;
  m_bAddress = true;
  CPerson& p = m_entry.person;
  // post office box; extended address; street; locality; region; postal code; country
  const std::vector<std::string> sa = CVersitReader::Split(line.sValue, ';');
  const std::string sStreet = Part(sa, 2);
  const size_t nBreak = sStreet.find('\n');
  p.m_sAddress1 = sStreet.substr(0, nBreak);
  if (nBreak != std::string::npos) p.m_sAddress2 = sStreet.substr(nBreak + 1);
  if (p.m_sAddress1.empty())
    p.m_sAddress1 = Part(sa, 0);
  else if (!Part(sa, 0).empty())
    p.m_sAddress1 = Part(sa, 0) + ", " + p.m_sAddress1;
  p.m_sAddress2 = JoinSet({Part(sa, 1), p.m_sAddress2});
  p.m_sCity = Part(sa, 3);
  p.m_sState = Part(sa, 4);
  p.m_sZip = Part(sa, 5);
  p.m_sCountry = Part(sa, 6);
  return true;
}

void CCardBuilder::Keep(const stContentLine& line) {
  std::string sKept = CVCardWriter::KeptLine(line.sLine);
  if (sKept.size() >= MAX_STORED_STRING) {
    m_saProblems.push_back(StrFormat("A %s property of %u bytes was too long to keep and was left out.",
                                     line.sName.c_str(), unsigned(line.sLine.size())));
    return;
  }
  m_saKept.push_back(std::move(sKept));
}

stVCardEntry CCardBuilder::Finish() {
  CPerson& p = m_entry.person;
  const bool bNoName = p.m_sLastName.empty() && p.m_sFirstName.empty();
  if (m_sKind == "org" || (bNoName && !m_sOrg.empty())) {
    p.m_cType = 'B';
    p.m_sLastName = m_sOrg.empty() ? m_sFullName : m_sOrg;
    p.m_sFirstName.clear();
  } else {
    if (bNoName) p.m_sLastName = m_sFullName;
    if (!m_sOrgLine.empty()) m_saKept.insert(m_saKept.begin(), CVCardWriter::KeptLine(m_sOrgLine));
  }
  if (m_bNote) {
    size_t nStart = 0;
    for (size_t nEnd; (nEnd = m_sNote.find('\n', nStart)) != std::string::npos; nStart = nEnd + 1)
      p.m_saComments.push_back(m_sNote.substr(nStart, nEnd - nStart));
    p.m_saComments.push_back(m_sNote.substr(nStart));
  }
  for (std::string& s : m_saKept) p.m_saComments.push_back(std::move(s));
  bool bCut = false;
  for (std::string* pField :
       {&p.m_sLastName, &p.m_sFirstName, &p.m_sAddress1, &p.m_sAddress2, &p.m_sCity, &p.m_sState, &p.m_sZip,
        &p.m_sCountry, &p.m_sHomePhone, &p.m_sWorkPhone, &p.m_sCellPhone, &p.m_sFax, &p.m_sEmail})
    bCut |= FitStored(*pField);
  for (std::string& s : p.m_saComments) bCut |= FitStored(s);
  if (bCut)
    m_saProblems.push_back(StrFormat("A text of %s was longer than %u bytes and was cut.",
                                     p.m_sLastName.substr(0, 40).c_str(), unsigned(MAX_STORED_STRING - 1)));
  return std::move(m_entry);
}

}  // namespace

std::vector<stVCardEntry> CVCardReader::Read(std::string_view sText, std::vector<std::string>& saProblems) {
  std::vector<stVCardEntry> entries;
  std::unique_ptr<CCardBuilder> pCard;
  for (const stContentLine& line : CVersitReader::Lines(sText)) {
    if (line.sName == "BEGIN" && EqualsNoCase(line.sValue, "VCARD")) {
      if (pCard) saProblems.push_back("A card without END:VCARD was read up to the next card.");
      if (pCard) entries.push_back(pCard->Finish());
      pCard = std::make_unique<CCardBuilder>(saProblems);
    } else if (line.sName == "END" && EqualsNoCase(line.sValue, "VCARD")) {
      if (pCard) entries.push_back(pCard->Finish());
      pCard.reset();
    } else if (pCard) {
      pCard->Take(line);
    }
  }
  if (pCard) {
    saProblems.push_back("The last card has no END:VCARD; it was read to the end of the file.");
    entries.push_back(pCard->Finish());
  }
  return entries;
}
