// Cleaning the chosen phone text into the number the modem dials, for every
// length rule and every combination of "Use area code" and "Dial 1".

#include <gtest/gtest.h>

#include "comms/PhoneNumber.h"

namespace {

struct stRow {
  const char* pText;
  bool bUseAreaCode;
  bool bDial1;
  ePhoneNumber result;
  const char* pNumber;  // what is dialled when the result is OK
};

const stRow kRows[] = {
    // Seven digits dial as they are, whatever the switches say.
    {"555-1234", false, false, PHONE_NUMBER_OK, "5551234"},
    {"555-1234", false, true, PHONE_NUMBER_OK, "5551234"},
    {"555-1234", true, false, PHONE_NUMBER_OK, "5551234"},
    {"555-1234", true, true, PHONE_NUMBER_OK, "5551234"},
    // Ten digits: the area code only when asked for, and "1" only before it.
    {"(212) 555-1234", false, false, PHONE_NUMBER_OK, "5551234"},
    {"(212) 555-1234", false, true, PHONE_NUMBER_OK, "5551234"},
    {"(212) 555-1234", true, false, PHONE_NUMBER_OK, "2125551234"},
    {"(212) 555-1234", true, true, PHONE_NUMBER_OK, "12125551234"},
    {"212.555.1234 work", false, false, PHONE_NUMBER_OK, "5551234"},
    {"212.555.1234 work", false, true, PHONE_NUMBER_OK, "5551234"},
    {"212.555.1234 work", true, false, PHONE_NUMBER_OK, "2125551234"},
    {"212.555.1234 work", true, true, PHONE_NUMBER_OK, "12125551234"},
    // Ten kept but not all digits: no long-distance "1" in front of "*67".
    {"*67 555-1234", true, true, PHONE_NUMBER_OK, "*675551234"},
    {"*67 555-1234", true, false, PHONE_NUMBER_OK, "*675551234"},
    {"*67 555-1234", false, true, PHONE_NUMBER_OK, "5551234"},
    // More than ten dial as they are.
    {"1-212-555-1234", false, false, PHONE_NUMBER_OK, "12125551234"},
    {"1-212-555-1234", false, true, PHONE_NUMBER_OK, "12125551234"},
    {"1-212-555-1234", true, false, PHONE_NUMBER_OK, "12125551234"},
    {"1-212-555-1234", true, true, PHONE_NUMBER_OK, "12125551234"},
    {"+1 212 555 1234", true, true, PHONE_NUMBER_OK, "12125551234"},
    {"011 44 20 7946 0958", false, false, PHONE_NUMBER_OK,
     "01144207946"
     "0958"},
    // Words end the number; only digits, "*", "#" and "," reach the modem.
    {"555-1234 home", true, true, PHONE_NUMBER_OK, "5551234"},
    {"555-1234 x12", true, true, PHONE_NUMBER_OK, "5551234"},
    {"555-1234;ATH", true, true, PHONE_NUMBER_OK, "5551234"},
    {"555;1234!\r\n", false, false, PHONE_NUMBER_OK, "5551234"},
    {"555-1234#", false, false, PHONE_NUMBER_WRONG_FORMAT, ""},
    {"555,,1234", false, false, PHONE_NUMBER_WRONG_FORMAT, ""},
    {"9,555-1234", false, false, PHONE_NUMBER_WRONG_FORMAT, ""},
    {"9,,555-1234", true, true, PHONE_NUMBER_OK, "9,,5551234"},
    // Too short and the wrong lengths.
    {"", true, true, PHONE_NUMBER_TOO_SHORT, ""},
    {"home", true, true, PHONE_NUMBER_TOO_SHORT, ""},
    {"555-123", true, true, PHONE_NUMBER_TOO_SHORT, ""},
    {"call 555-1234", true, true, PHONE_NUMBER_TOO_SHORT, ""},
    {"5-555-1234", true, true, PHONE_NUMBER_WRONG_FORMAT, ""},
    {"12-555-1234", true, false, PHONE_NUMBER_WRONG_FORMAT, ""},
};

TEST(PhoneNumber, EveryLengthAndSwitchCombination) {
  for (const stRow& row : kRows) {
    SCOPED_TRACE(std::string("\"") + row.pText + "\" area " + std::to_string(row.bUseAreaCode) + " dial1 " +
                 std::to_string(row.bDial1));
    std::string sNumber = "unchanged";
    EXPECT_EQ(GetPhoneNumberToDial(row.pText, row.bUseAreaCode, row.bDial1, sNumber), row.result);
    EXPECT_EQ(sNumber, row.result == PHONE_NUMBER_OK ? std::string(row.pNumber) : "unchanged");
  }
  EXPECT_EQ(PhoneNumberMessage(PHONE_NUMBER_TOO_SHORT), "Invalid number. Too short.");
  EXPECT_EQ(PhoneNumberMessage(PHONE_NUMBER_WRONG_FORMAT), "Invalid number. Wrong format.");
  EXPECT_EQ(PhoneNumberMessage(PHONE_NUMBER_OK), "");
}

}  // namespace
