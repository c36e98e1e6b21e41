#pragma once
// The contact exports of the address book, shared by the address view and
// kelvotool. Kinds: 'T' tab text, 'E' e-mail CSV, 'B' Blackberry, 'L' label
// printer, 'V' vCard 2.1.
//
// Text is written as memory holds it, UTF-8, in every kind; vCard declares
// it per value. A field that would break the record apart is written so it
// cannot: CSV quotes a field with a comma, quote, CR or LF (quotes doubled),
// Blackberry doubles quotes inside its quoted fields, tab text and labels
// turn TAB, CR and LF inside a field into spaces, and vCard encodes it.

#include <string>
#include <vector>

class CPerson;

class CContactExport {
 public:
  // Whether a person may be offered for the kind: status 'A', and for 'E' an
  // e-mail, else an e-mail or a home phone.
  static bool IsEligible(char cKind, const CPerson& person);
  // The choice-list text of a person for the kind: "%s, %s [%s]" (last,
  // first, e-mail) for 'E', else "%s, %s".
  static std::string ChoiceText(char cKind, const CPerson& person);
  // File dialog caption and filter for the kind ("vCard files", "*.vcf", ...);
  // empty for an unknown kind.
  static std::string FileCaption(char cKind);
  static std::string FileFilter(char cKind);

  // Writes the header and every person whose status is still 'A', in order.
  // True when the whole file was written and closed; otherwise sError says
  // why and no partial file is left.
  static bool WriteFile(char cKind, const std::vector<const CPerson*>& paPersons, const std::string& sPath,
                        std::string& sError);
  // The bytes WriteFile writes: the header and the records of the persons
  // whose status is 'A'.
  static std::string Text(char cKind, const std::vector<const CPerson*>& paPersons);
  // The bytes of the header and of one record.
  static std::string Header(char cKind);
  static std::string Record(char cKind, const CPerson& person);

 private:
  static void AppendRecord(char cKind, const CPerson& person, std::string& sOut);
  static void AppendVCard(const CPerson& person, std::string& sOut);
  static void AppendLabel(const CPerson& person, std::string& sOut);
};
