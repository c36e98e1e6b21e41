#pragma once
// Persons as vCard 3.0 (RFC 2426) or 4.0 (RFC 6350): UTF-8, escaped TEXT
// values, lines folded at 75 octets. One writer serves both versions; they
// differ only in the VERSION line, KIND for a business (4.0) and how TEL
// and EMAIL types are spelled.
//
// Every stored field of a person goes out: the names (a business as ORG),
// the address as one ADR (address line 2 below line 1 in the street), the
// four phones, the e-mail, the comment as NOTE, the categories by name as
// CATEGORIES, the status, the person depended on and the flag byte as
// X-KELVO- properties, and a UID made from the database's file name and the
// person's code, so the same person always gets the same UID. Properties an
// import could not map are kept as comment lines beginning "[vCard] " and are
// written back as they were (when they are sound content lines).

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class CDatabase;
class CPerson;

class CVCardWriter {
 public:
  // nVersion 3 or 4.
  CVCardWriter(const CDatabase& db, int nVersion);

  // "urn:uuid:..." of the person of nCode in the database of that name (the
  // file name without folder and extension counts, in any case).
  static std::string Uid(const std::string& sDatabaseName, uint32_t nCode);
  // The comment line that keeps an unmapped property, and the property of
  // such a line (empty when the line is no kept property).
  static std::string KeptLine(std::string_view sProperty);
  static std::string_view KeptProperty(std::string_view sCommentLine);

  std::string Card(const CPerson& person) const;
  std::string Text(const std::vector<const CPerson*>& paPersons) const;
  // True when the whole file was written; otherwise sError says why.
  bool WriteFile(const std::vector<const CPerson*>& paPersons, const std::string& sPath,
                 std::string& sError) const;

 private:
  // "TYPE=home,voice" in 4.0, "TYPE=HOME,VOICE" in 3.0.
  std::string TypeParam(std::string_view sTypes) const;
  void AppendPhone(std::string& sOut, std::string_view sTypes, const std::string& sNumber) const;

  const CDatabase& m_db;
  int m_nVersion;
  std::string m_sDatabaseName;
};
