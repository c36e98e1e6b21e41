#pragma once
// The address view (F8): the persons of the open database, one line each,
// filtered by active status and categories, where persons are added, edited,
// deleted, activated, dialled, e-mailed, printed and exported.
//
// The list holds pointers into the table manager's person table only
// between two rebuilds: every refresh of the persons rebuilds it, and
// anything that opens a dialog keeps the person's code and looks it up again.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "views/CMailHandOff.h"
#include "views/CScrollBase.h"

class CPerson;

// The view's menu commands.
enum eAddressCommand : int {
  ID_ADDRESS_SELECT_ALL = 32817,
  ID_ADDRESS_SELECT_ACTIVE = 32818,
  ID_ADDRESS_SELECT_CATEGORY = 32819,
  ID_ADDRESS_SELECT_FORMAT = 32820,
  ID_ADDRESS_ADD = 32821,
  ID_ADDRESS_EDIT = 32822,
  ID_ADDRESS_DELETE = 32823,
  ID_ADDRESS_EMAIL_ONE = 32846,
  ID_ADDRESS_EMAIL_GROUP = 32854,
  ID_ADDRESS_EXPORT_TEXT = 32864,
  ID_ADDRESS_EXPORT_VCARD = 32866,
  ID_ADDRESS_EXPORT_BLACKBERRY = 32870,
  ID_ADDRESS_EXPORT_LABELS = 32877,
  ID_ADDRESS_EXPORT_CSV = 32879,
  ID_ADDRESS_PRINT_ALL = 32838,
  ID_ADDRESS_PRINT_LABEL = 32875,
  ID_ADDRESS_PHONE = 32845,
  ID_ADDRESS_EXPORT_VCARD3 = 32910,
  ID_ADDRESS_EXPORT_VCARD4 = 32911,
  ID_ADDRESS_IMPORT_VCARD = 32912,
};

class CAddressView : public CScrollBase {
 public:
  explicit CAddressView(CTableManager* pDB = nullptr, CViewFrame* pFrame = nullptr);

  void EnterView() override;
  void ExitView() override;
  void SetUpLines() override;
  stFmtString GetLine(int nIndex, char cHint, char& cStatus) override;
  void EditLine() override;
  void ProcessKey(int nKey) override;
  void AddCommands(CCommandTable& table) override;
  // Another database: the filters start again.
  void DatabaseChanged() override;

  // ---- commands ----
  void SelectAll();
  void SelectActive();
  void SelectCategories();
  void SelectFormat();
  void AddPerson();
  void DeletePerson();
  void EmailHighlighted();
  void EmailGroup();
  // 'T' tab text, 'E' e-mail CSV, 'B' Blackberry, 'L' label printer, 'V'
  // vCard 2.1, '3' and '4' vCard 3.0 and 4.0.
  void DoExport(char cKind);
  // Reads a vCard file, shows the preview and imports as the user chooses.
  void ImportVCard();
  void PrintLabel();
  void Phone();

  // The label text of a person: name, address lines, city line, country,
  // each ending in CR LF; empty when the person has no name.
  static std::string LabelText(const CPerson& person);
  // The code of the highlighted person; DB_NONE on an empty list.
  uint32_t HighlightedCode() const;
  const std::vector<uint32_t>& SelectedCategories() const { return m_naSelectedCategories; }
  bool ShowAll() const { return m_bShowAll; }

 private:
  bool PassesCategories(const CPerson& person) const;
  const CPerson* Highlighted() const;
  // The codes, in list order, of the persons the user picks in "Select
  // persons" among those of the list fnOffer lets through (shown as fnText).
  // Empty, after saying why, when none is offered or chosen.
  std::vector<uint32_t> ChoosePersons(const std::function<bool(const CPerson&)>& fnOffer,
                                      const std::function<std::string(const CPerson&)>& fnText,
                                      const std::string& sNoneOffered);
  void SendTo(std::vector<stMailRecipient> recipients);

  std::vector<CPerson*> m_paPersons;
  std::vector<uint32_t> m_naSelectedCategories;
  bool m_bShowAll = false;
};
