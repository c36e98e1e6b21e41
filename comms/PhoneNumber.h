#pragma once
// The number the dialer dials, made from the text the user chose. The text
// comes from a person's phone field, which any user of a shared database may
// have typed, so only what a modem dials as a number ever reaches it.

#include <string>

enum ePhoneNumber : int {
  PHONE_NUMBER_OK = 0,
  PHONE_NUMBER_TOO_SHORT = 1,     // "Invalid number. Too short."
  PHONE_NUMBER_WRONG_FORMAT = 2,  // "Invalid number. Wrong format."
};

// The text up to its first letter, keeping only digits, "*", "#" and ","
// (a pause); then by the count of what was kept: below 7 too short, 7 as it
// is, 8 or 9 the wrong format, 10 the last 7 unless bUseAreaCode, and with
// the area code "1" in front when bDial1 and all ten are digits, more than
// 10 as it is. The
// number is set only when the result is PHONE_NUMBER_OK.
ePhoneNumber GetPhoneNumberToDial(const std::string& sText, bool bUseAreaCode, bool bDial1,
                                  std::string& sNumber);

// The message of a refused number; empty for PHONE_NUMBER_OK.
std::string PhoneNumberMessage(ePhoneNumber result);
