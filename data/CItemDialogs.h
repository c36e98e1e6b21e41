#pragma once
// The edit rules of the four item tables: the "Category", "Address data",
// "Schedule event", "Log event", "Note" and "Message to user" dialogs, asked
// for through the user-interface seam as edit forms, and the person helpers
// the dialogs and views share (names, the person choice list).
//
// A dialog works on the object it is given (a working copy or a new item).
// Values come back as text and are checked before anything is taken over:
// a dialog whose values do not pass shows why and opens again, as a real
// dialog refuses its OK button. The data refresh is suspended while a
// dialog is open.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "data/CItemOperations.h"

// Names of the edit form fields (they are also the field names of kelvotool).
namespace ItemField {
inline constexpr const char* kName = "Name";  // category
inline constexpr const char* kType = "Type";  // "P" person, "B" business
inline constexpr const char* kStatus = "Status";  // "A" active, "D" dependent, "I" inactive
inline constexpr const char* kLastName = "Last name";
inline constexpr const char* kFirstName = "First name";
inline constexpr const char* kAddress1 = "Address line 1";
inline constexpr const char* kAddress2 = "Address line 2";
inline constexpr const char* kCity = "City";
inline constexpr const char* kState = "State";
inline constexpr const char* kZip = "ZIP";
inline constexpr const char* kCountry = "Country";
inline constexpr const char* kHomePhone = "Home phone";
inline constexpr const char* kWorkPhone = "Work phone";
inline constexpr const char* kCellPhone = "Cell phone";
inline constexpr const char* kFax = "Fax";
inline constexpr const char* kEmail = "Email";
inline constexpr const char* kComments = "Comments";      // one line per comment line
inline constexpr const char* kCategories = "Categories";  // one category name per line
inline constexpr const char* kDescription = "Description";
// "O", "D", "W", "M", "m", "Y" or "U" (see CScheduleRecord).
inline constexpr const char* kRepeatType = "Repeat type";
inline constexpr const char* kStart = "Start";  // "%m/%d/%Y %I:%M%p"
inline constexpr const char* kEndDateSet = "End date set";  // "0" or "1"
inline constexpr const char* kEnd = "End";
inline constexpr const char* kDayCount = "Day count";
inline constexpr const char* kContact = "Contact";  // "Last, First" or "<None>"
inline constexpr const char* kAlarmEnabled = "Alarm enabled";
inline constexpr const char* kAlarmUser = "Alarm user";  // user number or "<None>"
inline constexpr const char* kHoursBefore = "Hours before";
inline constexpr const char* kDate = "Date";
inline constexpr const char* kUndated = "Undated note";  // "0" or "1"
inline constexpr const char* kNote = "Note";
inline constexpr const char* kFrom = "From";
inline constexpr const char* kSent = "Sent";
inline constexpr const char* kTo = "To";  // "%i: %s" (user number, computer name) or ""
inline constexpr const char* kText = "Text";
inline constexpr const char* kAction = "Action";  // received message: "Mark as read" or "Send reply"
}  // namespace ItemField

inline constexpr const char* kNoneChoice = "<None>";
inline constexpr const char* kDateTimeFormat = "%m/%d/%Y %I:%M%p";

// One entry of a person drop-down list: its text and its code.
struct stComboItem {
  std::string sText;
  uint32_t nCode = 0xFFFFFFFF;
};

class CItemDialogs : public CItemOperations {
 public:
  // ---- edit rules: Done for OK ----
  [[nodiscard]] eItemResult EditCategory(CCategory& category, bool bNew);
  [[nodiscard]] eItemResult EditPerson(CPerson& person, bool bNew);
  [[nodiscard]] eItemResult EditSchedule(CScheduleRecord& item, bool bNew, double dDate);
  [[nodiscard]] eItemResult EditLog(CLogRecord& entry, bool bNew, char cKind);
  // The user-message dialog: bSend for a new message (or a reply), else a
  // received one (mark as read or reply).
  [[nodiscard]] virtual eItemResult EditUserMessage(CLogRecord& entry, bool bSend);

  // ---- person helpers ----
  // "%s, %s" (last, first) with bLastFirst, else "%s %s"; "Person code %u"
  // for an unknown code. The names also go to pLast and pFirst when given.
  std::string GetPersonName(uint32_t nCode, bool bLastFirst, std::string* pLast = nullptr,
                            std::string* pFirst = nullptr) const;
  // A single-choice list "Select person"; the chosen code or 0xFFFFFFFF.
  uint32_t SelectPerson(uint32_t nCurrent, char cType, bool bAllowNone);
  // "<None>" and every person as "%s, %s"; returns the position of nSelected.
  int LoadPersonComboMenu(std::vector<stComboItem>& items, uint32_t nSelected) const;
  // "This computer's name" for this copy's number, else the user list's
  // name, else "Unknown user".
  std::string GetAlarmUserName(uint32_t nUser) const;
  std::string GetCategoryName(uint32_t nCode) const;

 protected:
  eItemResult EditItemPointer(uint8_t nTable, CDataRecord& item, bool bNew,
                              const stEditExtra& extra) final;

  // Shows the form until its values pass fnTake (which returns the reason
  // they do not, or empty once it took them) or the user cancels.
  [[nodiscard]] eItemResult RunForm(stEditForm& form,
                                    const std::function<std::string(const stEditForm&)>& fnTake);
  // Category names one per line; codes from names (the reason when one is unknown).
  std::string CategoriesText(const std::vector<uint32_t>& naCodes) const;
  std::string CategoriesFromText(const std::string& sText, std::vector<uint32_t>& naCodes) const;
  std::string ContactFromText(const std::string& sText, uint32_t& nCode) const;
  std::string UserChoiceText(uint32_t nUser) const;
};

// "%m/%d/%Y", optionally followed by " %I:%M%p", " %H:%M" or " %H:%M:%S".
// False when it is no date.
bool ParseDateTimeText(const std::string& sText, double& dDate);
