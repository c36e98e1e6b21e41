#pragma once
// The lines of the mail list outputs, laid out from a mail list layout: a
// phone list or mailing labels as rows of address cells side by side, or one
// envelope per sheet with the return address. The mail list view shows these
// lines and prints them; kelvotool writes them without a window.
//
// Every line a person's data goes into is literal: a "~" or a "<" in a name
// or an address is printed as it is. Each row of cells (with the top lines
// of its sheet) and each envelope is one block, so a label never splits over
// two sheets. A sheet break is put only in front of something that follows,
// so no output ends in an empty sheet, and with no persons there are no lines.

#include <string>
#include <vector>

#include "data/CFormatRecord.h"
#include "support/CConfigFile.h"

class CPerson;
class CPrintFile;

// The kinds of output.
enum eMailKind : int { MAIL_PHONE_LIST = 1, MAIL_LABELS = 2, MAIL_ENVELOPES = 3 };

struct stMailLine {
  std::string sText;  // "^" for a sheet break
  int nBlock = -1;    // the row or envelope the line belongs to; -1 for a sheet break
};

class CMailListFormat {
 public:
  // The layout as it is used: the defaults when its face is empty, and every
  // value inside its range.
  static stMailList LayoutInUse(const stMailList& layout);
  // The view's format record of a layout: code 0xFFFFFFFF, the layout's
  // font, and its tab stops (envelopes: the left margin and the address
  // indent; lists and labels: the left margin and one stop per column).
  static stFormatRecord MaillistToFormat(const stMailList& layout, int nKind);

  // "%s %s" of first and last name, or the last name alone.
  static std::string PersonName(const CPerson& person);
  // The lines of a person's address (with the phones for the phone list),
  // each when not empty; TABs and line breaks in the data become spaces.
  static std::vector<std::string> AddressLines(const CPerson& person, bool bPhones);

  // The lines of the kind for the persons, in their order.
  static std::vector<stMailLine> FormatLines(int nKind, const std::vector<const CPerson*>& persons,
                                             const stMailList& layout,
                                             const std::vector<std::string>& saReturnAddress);
  static std::vector<stMailLine> FormatAddressList(const std::vector<const CPerson*>& persons,
                                                   const stMailList& layout, bool bPhoneList);
  static std::vector<stMailLine> FormatEnvelopes(const std::vector<const CPerson*>& persons,
                                                 const stMailList& layout,
                                                 const std::vector<std::string>& saReturnAddress);

  // The most lines one sheet must hold: the longest run between sheet
  // breaks when there are breaks, else the longest block.
  static int LinesPerSheet(const std::vector<stMailLine>& lines);

  // Writes the lines into a print file in the format: each block between "<"
  // and ">", its lines literal; sheet breaks as "^". 0 when the file failed.
  static int WriteLines(CPrintFile& file, const std::vector<stMailLine>& lines, const stFormatRecord& format);
};
