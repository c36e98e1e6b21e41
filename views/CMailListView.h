#pragma once
// The mail list view (F9): the persons of the open database laid out as a
// phone list, as mailing labels or as envelopes, shown line by line as they
// will be printed, and printed through the print engine. The user chooses
// the kind, the persons (by categories or one person), the order (by name or
// by ZIP) and the layout of each kind (kept in Kelvo.cfg).
//
// While entered the view holds the mail list table (7) locked in the file;
// a copy that cannot lock it shows nothing. The view keeps person codes,
// never pointers: after another copy's change, a reload or a dialog it looks
// every person up again, so a person deleted meanwhile simply drops out.

#include <cstdint>
#include <string>
#include <vector>

#include "views/CMailListFormat.h"
#include "views/CScrollBase.h"

// The view's menu commands.
enum eMailListCommand : int {
  ID_MAILLIST_PHONELIST = 32881,
  ID_MAILLIST_MAILLABELS = 32882,
  ID_MAILLIST_ENVELOPES = 32883,
  ID_MAILLIST_EDIT = 32884,
  ID_MAILLIST_SELECT_CATEGORY = 32885,
  ID_MAILLIST_SELECT_PERSON = 32886,
  ID_MAILLIST_SELECT_ALL = 32887,
  ID_MAILLIST_SORT_NAME = 32888,
  ID_MAILLIST_SORT_ZIP = 32889,
  ID_MAILLIST_PAGE_LAYOUT = 32890,
  ID_MAILLIST_PRINT = 32891,
};

class CMailListView : public CScrollBase {
 public:
  enum eSortOrder : int { SORT_BY_NAME = 0, SORT_BY_ZIP = 1 };

  explicit CMailListView(CTableManager* pDB = nullptr, CViewFrame* pFrame = nullptr);
  ~CMailListView() override;

  void EnterView() override;
  void ExitView() override;
  void SetUpLines() override;
  stFmtString GetLine(int nIndex, char cHint, char& cStatus) override;
  void AddCommands(CCommandTable& table) override;
  // Another database (or none): the person and category choice go, and so
  // does the lock, which belonged to the file now closed.
  void DatabaseChanged() override;

  // ---- commands ----
  void OnMaillistPhonelist() { SetKind(MAIL_PHONE_LIST); }
  void OnMaillistMailabels() { SetKind(MAIL_LABELS); }
  void OnMaillistEnvelopes() { SetKind(MAIL_ENVELOPES); }
  // Edits the layout of the current kind (and, for envelopes, the return
  // address); true when changed.
  bool OnMaillistEdit();
  void OnCategorySelect();
  void OnStudentSelect();
  void OnSelectAll();
  void OnViewSortbyName() { SetSortOrder(SORT_BY_NAME); }
  void OnViewSortbyZip() { SetSortOrder(SORT_BY_ZIP); }
  // Phone list only: page layout 1.
  void OnPageLayout();
  // Prints the lines of the current kind; 1 when printed.
  int OnMaillistPrint();

  // ---- state ----
  int Kind() const { return m_nKind; }
  int SortOrder() const { return m_nSortOrder; }
  bool TableLocked() const { return m_bTableLocked; }
  // The view could not lock table 7 when it was entered.
  bool ViewLocked() const { return m_bViewLocked; }
  uint32_t SelectedPerson() const { return m_nSelectedPerson; }
  const std::vector<uint32_t>& SelectedCategories() const { return m_naSelectedCategories; }
  const std::vector<stMailLine>& Lines() const { return m_caLines; }
  const stFormatRecord& Format() const { return m_format; }
  // The layout of a kind as it is used (defaults, clamped).
  static stMailList LayoutOf(int nKind);
  // The paper the printer of a kind will use, as the layout dialog says it.
  static std::string PaperText(int nKind);

  // The codes of every person (active or not), in name order or by ZIP.
  static std::vector<uint32_t> PersonCodes(CTableManager& db, int nSortOrder);
  // The persons of the codes that are still there and are chosen: the one
  // person when nPerson is set, else those of the categories (empty: all).
  static std::vector<const CPerson*> ChosenPersons(const CTableManager& db,
                                                   const std::vector<uint32_t>& naCodes, uint32_t nPerson,
                                                   const std::vector<uint32_t>& naCategories);

  // "PAGE BREAK" centred in 80 "-".
  static std::string PageBreakText();

 private:
  void SetKind(int nKind);
  void SetSortOrder(int nOrder);
  // Lays the chosen persons out in the current kind and layout.
  void FormatKind();
  void Redraw();
  static stMailList& StoredLayout(int nKind);
  static stPrinterSetup& PrinterOf(int nKind);

  int m_nKind = MAIL_PHONE_LIST;
  int m_nSortOrder = SORT_BY_NAME;
  bool m_bEntered = false;
  bool m_bTableLocked = false;
  bool m_bViewLocked = false;
  uint32_t m_nSelectedPerson = 0xFFFFFFFF;
  std::vector<uint32_t> m_naSelectedCategories;
  std::vector<uint32_t> m_naPersons;  // every person, in the order in use
  std::vector<stMailLine> m_caLines;
  stFormatRecord m_format;
};
