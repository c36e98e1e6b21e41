#include "exchange/CVCardWriter.h"

#include "data/CCategory.h"
#include "data/CDatabase.h"
#include "data/CPerson.h"
#include "exchange/CExportFile.h"
#include "exchange/CVersitWriter.h"
#include "support/FileUtil.h"
#include "support/StringUtil.h"

namespace {

constexpr std::string_view kKeptPrefix = "[vCard] ";

void AppendProperty(std::string& sOut, std::string_view sName, std::string_view sEscapedValue) {
  std::string sLine(sName);
  sLine += ':';
  sLine += sEscapedValue;
  CVersitWriter::AppendFolded(sOut, sLine);
}

void AppendText(std::string& sOut, std::string_view sName, std::string_view sValue) {
  if (!sValue.empty()) AppendProperty(sOut, sName, CVersitWriter::EscapeText(sValue));
}

std::string Compound(std::initializer_list<std::string_view> saParts) {
  std::string s;
  for (auto it = saParts.begin(); it != saParts.end(); ++it) {
    if (it != saParts.begin()) s += ';';
    s += CVersitWriter::EscapeText(*it);
  }
  return s;
}

std::string Joined(const std::vector<std::string>& sa, char cSeparator, bool bEscape) {
  std::string s;
  for (size_t i = 0; i < sa.size(); ++i) {
    if (i) s += cSeparator;
    s += bEscape ? CVersitWriter::EscapeText(sa[i]) : sa[i];
  }
  return s;
}

// A kept property goes back only as one sound content line whose name is
// none the writer makes itself: nothing in a comment can end the card.
bool IsSoundKeptProperty(std::string_view s) {
  const size_t nEnd = s.find_first_of(";:");
  if (nEnd == std::string_view::npos || nEnd == 0 || s.find(':') == std::string_view::npos) return false;
  std::string_view sName = s.substr(0, nEnd);
  if (const size_t nDot = sName.find('.'); nDot != std::string_view::npos) sName.remove_prefix(nDot + 1);
  for (char c : sName)
    if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '-')) return false;
  for (const char* p : {"BEGIN", "END", "VERSION", "N", "FN", "UID", "KIND"})
    if (EqualsNoCase(sName, p)) return false;
  if (ToUpper(sName).starts_with("X-KELVO-")) return false;
  for (char c : s)
    if (static_cast<unsigned char>(c) < 0x20 && c != '\t') return false;
  return true;
}

}  // namespace

CVCardWriter::CVCardWriter(const CDatabase& db, int nVersion)
    : m_db(db), m_nVersion(nVersion), m_sDatabaseName(FileNameOf(db.DatabaseName())) {}

std::string CVCardWriter::Uid(const std::string& sDatabaseName, uint32_t nCode) {
  // A version 8 (own layout) UUID: the CRC of the file name, fixed middle
  // groups with the version and variant bits, the code.
  std::string sName = ToUpper(FileNameOf(sDatabaseName));
  if (sName.ends_with(".DBM")) sName.resize(sName.size() - 4);
  return StrFormat("urn:uuid:%08x-6b65-8c76-8f6f-%012x", GetCRC(sName), nCode);
}

std::string CVCardWriter::KeptLine(std::string_view sProperty) {
  return std::string(kKeptPrefix) + std::string(sProperty);
}

std::string_view CVCardWriter::KeptProperty(std::string_view sCommentLine) {
  if (!sCommentLine.starts_with(kKeptPrefix)) return {};
  sCommentLine.remove_prefix(kKeptPrefix.size());
  return IsSoundKeptProperty(sCommentLine) ? sCommentLine : std::string_view();
}

std::string CVCardWriter::TypeParam(std::string_view sTypes) const {
  return "TYPE=" + (m_nVersion == 3 ? ToUpper(sTypes) : std::string(sTypes));
}

void CVCardWriter::AppendPhone(std::string& sOut, std::string_view sTypes, const std::string& sNumber) const {
  AppendText(sOut, "TEL;" + TypeParam(sTypes), sNumber);
}

std::string CVCardWriter::Card(const CPerson& p) const {
  std::string sOut = "BEGIN:VCARD\r\n";
  sOut += m_nVersion == 3 ? "VERSION:3.0\r\n" : "VERSION:4.0\r\n";
  const bool bBusiness = p.m_cType == 'B';
  if (bBusiness && m_nVersion == 4) sOut += "KIND:org\r\n";
  const std::string sFull = bBusiness || p.m_sFirstName.empty() ? p.m_sLastName
                            : p.m_sLastName.empty()             ? p.m_sFirstName
                                                                : p.m_sFirstName + " " + p.m_sLastName;
  AppendProperty(sOut, "FN", CVersitWriter::EscapeText(sFull));
  AppendProperty(
      sOut, "N",
      bBusiness ? Compound({"", "", "", "", ""}) : Compound({p.m_sLastName, p.m_sFirstName, "", "", ""}));
  if (bBusiness) AppendText(sOut, "ORG", p.m_sLastName);
  std::string sStreet = p.m_sAddress1;
  if (!p.m_sAddress2.empty()) sStreet += "\n" + p.m_sAddress2;
  if (!(sStreet + p.m_sCity + p.m_sState + p.m_sZip + p.m_sCountry).empty())
    AppendProperty(sOut, "ADR", Compound({"", "", sStreet, p.m_sCity, p.m_sState, p.m_sZip, p.m_sCountry}));
  AppendPhone(sOut, "home,voice", p.m_sHomePhone);
  AppendPhone(sOut, "work,voice", p.m_sWorkPhone);
  AppendPhone(sOut, "cell", p.m_sCellPhone);
  AppendPhone(sOut, "fax", p.m_sFax);
  AppendText(sOut, m_nVersion == 3 ? "EMAIL;TYPE=INTERNET" : "EMAIL", p.m_sEmail);
  std::vector<std::string> saNote;
  for (const std::string& sLine : p.m_saComments)
    if (KeptProperty(sLine).empty()) saNote.push_back(sLine);
  if (!saNote.empty()) AppendProperty(sOut, "NOTE", CVersitWriter::EscapeText(Joined(saNote, '\n', false)));
  std::vector<std::string> saCategories;
  for (uint32_t nCode : p.m_naCategories)
    if (const auto* pCategory = static_cast<const CCategory*>(m_db.GetPointer(TABLE_CATEGORY, nCode)))
      saCategories.push_back(pCategory->m_sName);
  if (!saCategories.empty()) AppendProperty(sOut, "CATEGORIES", Joined(saCategories, ',', true));
  if (p.m_cStatus != 'A')
    AppendProperty(sOut, "X-KELVO-STATUS", p.m_cStatus == 'D' ? "dependent" : "inactive");
  if (p.m_cStatus == 'D' && p.m_nDependentOn != DB_NONE)
    AppendProperty(sOut, "X-KELVO-DEPENDS-ON", Uid(m_sDatabaseName, p.m_nDependentOn));
  if (p.m_cFlag) AppendProperty(sOut, "X-KELVO-FLAG", std::to_string(p.m_cFlag));
  for (const std::string& sLine : p.m_saComments)
    if (const std::string_view sKept = KeptProperty(sLine); !sKept.empty())
      CVersitWriter::AppendFolded(sOut, sKept);
  AppendProperty(sOut, "UID", Uid(m_sDatabaseName, p.m_nCode));
  sOut += "END:VCARD\r\n";
  return sOut;
}

std::string CVCardWriter::Text(const std::vector<const CPerson*>& paPersons) const {
  std::string s;
  for (const CPerson* p : paPersons)
    if (p) s += Card(*p);
  return s;
}

bool CVCardWriter::WriteFile(const std::vector<const CPerson*>& paPersons, const std::string& sPath,
                             std::string& sError) const {
  return CExportFile::Save(sPath, Text(paPersons), sError);
}
