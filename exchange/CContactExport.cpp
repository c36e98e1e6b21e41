#include "exchange/CContactExport.h"

#include <initializer_list>
#include <string_view>

#include "data/CPerson.h"
#include "exchange/CExportFile.h"
#include "exchange/CVersitWriter.h"

namespace {

using FieldWriter = void (*)(std::string& sOut, std::string_view sField);

// Tab text and labels: a field never breaks its line or column.
void AppendFlat(std::string& sOut, std::string_view s) {
  const size_t nStart = sOut.size();
  sOut += s;
  for (size_t i = s.find_first_of("\t\r\n"); i != std::string_view::npos;
       i = s.find_first_of("\t\r\n", i + 1))
    sOut[nStart + i] = ' ';
}

void AppendQuoted(std::string& sOut, std::string_view s) {
  sOut += '"';
  for (size_t i = s.find('"'); i != std::string_view::npos; i = s.find('"')) {
    sOut.append(s.substr(0, i + 1)) += '"';  // the quote doubled
    s.remove_prefix(i + 1);
  }
  sOut.append(s) += '"';
}

// CSV quotes only the fields that need it, so plain fields stay as they were.
void AppendCsv(std::string& sOut, std::string_view s) {
  if (s.find_first_of(",\"\r\n") == std::string_view::npos)
    sOut += s;
  else
    AppendQuoted(sOut, s);
}

void AppendRow(std::string& sOut, std::initializer_list<std::string_view> saFields, char cSeparator,
               FieldWriter fnField) {
  for (auto it = saFields.begin(); it != saFields.end(); ++it) {
    if (it != saFields.begin()) sOut += cSeparator;
    fnField(sOut, *it);
  }
  sOut += '\n';
}

// Tab text and CSV share their columns.
void AppendColumns(std::string& sOut, const CPerson& p, char cSeparator, FieldWriter fnField) {
  AppendRow(sOut,
            {p.m_sLastName, p.m_sFirstName, p.m_sHomePhone, p.m_sWorkPhone, p.m_sFax, p.m_sAddress1,
             p.m_sCity, p.m_sState, p.m_sZip, p.m_sEmail},
            cSeparator, fnField);
}

// Blackberry notes: the e-mail, "|", and the comment lines joined with "|".
std::string BlackberryNotes(const CPerson& p) {
  std::string s = p.m_sEmail + "|";
  for (size_t i = 0; i < p.m_saComments.size(); ++i) {
    if (i) s += '|';
    s += p.m_saComments[i];
  }
  return s;
}

bool IsKind(char cKind) { return std::string_view("TEBLV").find(cKind) != std::string_view::npos; }

}  // namespace

bool CContactExport::IsEligible(char cKind, const CPerson& person) {
  if (person.m_cStatus != 'A') return false;
  return cKind == 'E' ? !person.m_sEmail.empty() : !(person.m_sEmail.empty() && person.m_sHomePhone.empty());
}

std::string CContactExport::ChoiceText(char cKind, const CPerson& person) {
  std::string s = person.m_sLastName + ", " + person.m_sFirstName;
  if (cKind == 'E') s += " [" + person.m_sEmail + "]";
  return s;
}

std::string CContactExport::FileCaption(char cKind) {
  switch (cKind) {
    case 'V': return "vCard files";
    case 'B': return "Blackberry files";
    case 'E': return "CSV files";
    case 'T':
    case 'L': return "Text files";
    default: return "";
  }
}

std::string CContactExport::FileFilter(char cKind) {
  switch (cKind) {
    case 'V': return "*.vcf";
    case 'B': return "*.blk";
    case 'E': return "*.csv";
    case 'T':
    case 'L': return "*.txt";
    default: return "";
  }
}

std::string CContactExport::Header(char cKind) {
  switch (cKind) {
    case 'T': return "Last\tFirst\tPhone1\tPhone2\tFax\tAddress\tCity\tState\tZip\tEmail\n";
    case 'E': return "Last name,First name,Phone1,Phone2,Fax,Address,City,State,Zip,Email\n";
    case 'B':
      return "\"Last Name\",\"First Name\",\"Home Phone\",\"Work Phone\",\"Mobile Phone\",\"Fax\",\"Email "
             "1\","
             "\"Address1\",\"Address2\",\"City\",\"State/Prov\",\"Zip/Postal Code\",\"Notes\"\n";
    default: return "";
  }
}

std::string CContactExport::Record(char cKind, const CPerson& person) {
  std::string s;
  AppendRecord(cKind, person, s);
  return s;
}

std::string CContactExport::Text(char cKind, const std::vector<const CPerson*>& paPersons) {
  // Growing a large text step by step copies it again and again into fresh
  // memory: the first records tell how much to reserve for all.
  constexpr size_t SAMPLE = 64;
  std::string s = Header(cKind);
  for (size_t i = 0; i < paPersons.size(); ++i) {
    if (i == SAMPLE) s.reserve(s.size() / SAMPLE * paPersons.size() * 5 / 4);
    if (paPersons[i] && paPersons[i]->m_cStatus == 'A') AppendRecord(cKind, *paPersons[i], s);
  }
  return s;
}

bool CContactExport::WriteFile(char cKind, const std::vector<const CPerson*>& paPersons,
                               const std::string& sPath, std::string& sError) {
  if (!IsKind(cKind)) {
    sError = "Unknown export kind.";
    return false;
  }
  return CExportFile::Save(sPath, Text(cKind, paPersons), sError);
}

void CContactExport::AppendRecord(char cKind, const CPerson& p, std::string& sOut) {
  switch (cKind) {
    case 'T': AppendColumns(sOut, p, '\t', AppendFlat); break;
    case 'E': AppendColumns(sOut, p, ',', AppendCsv); break;
    case 'B':
      AppendRow(
          sOut,
          {p.m_sLastName, p.m_sFirstName, p.m_sHomePhone, p.m_sWorkPhone, p.m_sCellPhone, p.m_sFax,
           p.m_sEmail, p.m_sAddress1, p.m_sAddress2, p.m_sCity, p.m_sState, p.m_sZip, BlackberryNotes(p)},
          ',', AppendQuoted);
      break;
    case 'L': AppendLabel(p, sOut); break;
    case 'V': AppendVCard(p, sOut); break;
    default: break;
  }
}

// The name line; the address lines and a blank line only with address line 1.
void CContactExport::AppendLabel(const CPerson& p, std::string& sOut) {
  AppendFlat(sOut, p.m_sFirstName);
  sOut += ' ';
  AppendFlat(sOut, p.m_sLastName);
  sOut += '\n';
  if (p.m_sAddress1.empty()) return;
  AppendFlat(sOut, p.m_sAddress1);
  sOut += '\n';
  AppendFlat(sOut, p.m_sCity);
  sOut += ", ";
  AppendFlat(sOut, p.m_sState);
  sOut += ' ';
  AppendFlat(sOut, p.m_sZip);
  sOut += "\n\n";
}

void CContactExport::AppendVCard(const CPerson& p, std::string& sOut) {
  sOut += "BEGIN:VCARD\r\nVERSION:2.1\r\n";
  CVersitWriter::AppendProperty(sOut, "N", {p.m_sLastName, p.m_sFirstName});
  CVersitWriter::AppendProperty(sOut, "FN", {p.m_sFirstName + " " + p.m_sLastName});
  // The street holds address line 2 only below line 1; the line break
  // between them is encoded with the value (=0D=0A).
  std::string sStreet = p.m_sAddress1;
  if (!p.m_sAddress1.empty() && !p.m_sAddress2.empty()) sStreet += "\r\n" + p.m_sAddress2;
  // Street, city, state and ZIP all empty would leave only the separators.
  if (!(sStreet.empty() && p.m_sCity.empty() && p.m_sState.empty() && p.m_sZip.empty()))
    CVersitWriter::AppendProperty(sOut, "ADR", {"", "", sStreet, p.m_sCity, p.m_sState, p.m_sZip}, true);
  CVersitWriter::AppendIfSet(sOut, "TEL;HOME", p.m_sHomePhone);
  CVersitWriter::AppendIfSet(sOut, "TEL;WORK", p.m_sWorkPhone);
  CVersitWriter::AppendIfSet(sOut, "TEL;CELL", p.m_sCellPhone);
  CVersitWriter::AppendIfSet(sOut, "TEL;FAX", p.m_sFax);
  CVersitWriter::AppendIfSet(sOut, "EMAIL", p.m_sEmail);
  sOut += "END:VCARD\r\n\r\n";
}
