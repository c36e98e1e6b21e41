#pragma once
// The one seam through which the core talks to the user: message boxes,
// questions, wait boxes, choice lists, text input, file choice and the item
// edit dialogs. The Qt program, the terminal tool and the scripted test host
// each implement it; the core reaches the current one through GetUi().

#include <optional>
#include <string>
#include <vector>

// Button sets of a message box (values as the program has always used them).
enum eButtons : int {
  MB_OK = 0,
  MB_OKCANCEL = 1,
  MB_ABORTRETRYIGNORE = 2,
  MB_YESNOCANCEL = 3,
  MB_YESNO = 4,
  MB_RETRYCANCEL = 5,
};

// Answers of a message box.
enum eAnswer : int {
  IDOK = 1,
  IDCANCEL = 2,
  IDABORT = 3,
  IDRETRY = 4,
  IDIGNORE = 5,
  IDYES = 6,
  IDNO = 7,
};

// How a dialog shows a field. A text field is a text, number or switch edit
// (by its range); a date field is a date and time field, with or without the
// time of day. A date field's value is "%m/%d/%Y %I:%M%p" text (a date alone
// at 08:00), empty for no date; hosts without such a field edit the text.
enum class eFieldKind { Text, Date, DateTime };

// One field of an item edit dialog: the table manager fills the form from a
// copy of the item, the dialog edits the values, the table manager takes them
// back on OK. Text fields are capped at nMaxLen bytes where the user types.
struct stEditField {
  std::string sName;
  std::string sValue;
  int nMaxLen = 4095;
  // A numeric field's spin range; the dialog keeps the value inside it. No
  // range when both are 0.
  int nMin = 0;
  int nMax = 0;
  eFieldKind kind = eFieldKind::Text;
};

struct stEditForm {
  std::string sDialog;  // which dialog: "Person", "Schedule", "Log", "Category", ...
  std::string sTitle;
  std::vector<stEditField> fields;

  const std::string* Find(const std::string& sName) const;
  std::string* Find(const std::string& sName);
};

// What the wait box asks its host to draw.
struct stWaitBoxView {
  std::string sTitle;
  std::string sText;
  bool bAbortShown = false;
  bool bProgressShown = false;
  double dPercent = 0.0;
  std::string sPercentText;
};

class CUserInterface {
 public:
  virtual ~CUserInterface() = default;

  // Modal message box; nDefault is the answer Enter gives (0: the host's choice).
  virtual int MessageBox(const std::string& sText, const std::string& sCaption, int nButtons,
                         int nDefault = 0) = 0;

  // Wait box drawing. nBox identifies one box; boxes nest.
  virtual void WaitBoxShow(int nBox, const stWaitBoxView& view) = 0;
  virtual void WaitBoxUpdate(int nBox, const stWaitBoxView& view) = 0;
  virtual void WaitBoxClose(int nBox) = 0;

  // Processes pending user-interface events. Returns true when the user asked
  // to abort (abort button or Esc) since the last call.
  virtual bool ProcessEvents() = 0;

  // Enables or disables the stacked windows of the window list.
  virtual void EnableWindows(bool bEnable) = 0;

  // Choice list: the chosen indexes (one at most unless bMultiple); empty on Cancel.
  virtual std::optional<std::vector<int>> ChooseFromList(const std::string& sCaption,
                                                         const std::vector<std::string>& items,
                                                         bool bMultiple) = 0;

  // A single choice with one more button (sButton) beside OK and Cancel:
  // the chosen row and whether the button ended the dialog; nothing on
  // Cancel. Hosts without such a button list every row a second time as
  // "sButton: row" after the rows.
  struct stButtonChoice {
    int nRow = -1;
    bool bButton = false;
  };
  virtual std::optional<stButtonChoice> ChooseWithButton(const std::string& sCaption,
                                                         const std::vector<std::string>& items,
                                                         const std::string& sButton);

  // One line of text input; nothing on Cancel.
  virtual std::optional<std::string> InputText(const std::string& sPrompt,
                                               const std::string& sDefault) = 0;

  // One line of secret input (passwords): the host masks what is typed.
  // Hosts without a screen answer it like InputText.
  virtual std::optional<std::string> InputSecret(const std::string& sPrompt) {
    return InputText(sPrompt, "");
  }

  // File choice; sFilter like "Database files (*.dbm)". Nothing on Cancel.
  virtual std::optional<std::string> ChooseFile(bool bSave, const std::string& sCaption,
                                                const std::string& sFilter,
                                                const std::string& sDefault) = 0;

  // Folder choice; nothing on Cancel. Hosts without a folder dialog ask for
  // the path as text.
  virtual std::optional<std::string> ChooseFolder(const std::string& sCaption,
                                                  const std::string& sDefault) {
    return InputText(sCaption, sDefault);
  }

  // Item edit dialog working on the form; IDOK or IDCANCEL.
  virtual int EditItem(stEditForm& form) = 0;

  // A read-only text window (received messages, lists) closed by the user.
  // Hosts without one show it as a message box.
  virtual void ShowText(const std::string& sCaption, const std::string& sText) {
    MessageBox(sText, sCaption, MB_OK, 0);
  }
  // Text editing window (lines of a file); nothing on Cancel. Hosts without
  // one keep the text as it is.
  virtual std::optional<std::string> EditText(const std::string& sCaption, const std::string& sText) {
    (void)sCaption;
    return sText;
  }
};

// The process-wide current implementation. Never null: a silent default
// answers every question with its default and shows nothing.
CUserInterface& GetUi();
void SetUi(CUserInterface* pUi);

// Shows a message with an OK button (the common case).
void ShowMessage(const std::string& sText, const std::string& sCaption = "Kelvo");
