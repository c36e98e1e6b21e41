#include "comms/PhoneNumber.h"

namespace {

bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

bool IsDialable(char c) { return (c >= '0' && c <= '9') || c == '*' || c == '#' || c == ','; }

}  // namespace

ePhoneNumber GetPhoneNumberToDial(const std::string& sText, bool bUseAreaCode, bool bDial1,
                                  std::string& sNumber) {
  std::string sKept;
  for (char c : sText) {
    // "555-1234 home" and "555-1234 x12" end at the word.
    if (IsLetter(c)) break;
    if (IsDialable(c)) sKept += c;
  }
  const size_t nLength = sKept.size();
  if (nLength < 7) return PHONE_NUMBER_TOO_SHORT;
  if (nLength == 8 || nLength == 9) return PHONE_NUMBER_WRONG_FORMAT;
  if (nLength == 10) {
    // "1" is a long-distance prefix: it only makes sense before the area code.
    if (!bUseAreaCode)
      sKept = sKept.substr(3);
    else if (bDial1 && sKept.find_first_not_of("0123456789") == std::string::npos)
      sKept = "1" + sKept;
  }
  sNumber = sKept;
  return PHONE_NUMBER_OK;
}

std::string PhoneNumberMessage(ePhoneNumber result) {
  switch (result) {
    case PHONE_NUMBER_TOO_SHORT: return "Invalid number. Too short.";
    case PHONE_NUMBER_WRONG_FORMAT: return "Invalid number. Wrong format.";
    case PHONE_NUMBER_OK: break;
  }
  return "";
}
