#include "views/CAddressView.h"

#include <algorithm>

#include "data/CTableManager.h"
#include "exchange/CContactExport.h"
#include "exchange/CVCardImport.h"
#include "exchange/CVCardWriter.h"
#include "support/CUserInterface.h"
#include "support/Diagnostic.h"
#include "support/FileUtil.h"
#include "support/StringUtil.h"
#include "support/UserPrompts.h"
#include "views/ViewChoices.h"

namespace {

constexpr uint32_t kPersonListFormat = 4;
constexpr const char* kSelect = "&Select";
constexpr const char* kEmail = "e&Mail";
constexpr const char* kExport = "e&Xport";
constexpr const char* kPrint = "&Print";

std::string NameFirstLast(const CPerson& p) { return p.m_sFirstName + " " + p.m_sLastName; }

}  // namespace

CAddressView::CAddressView(CTableManager* pDB, CViewFrame* pFrame) : CScrollBase(VIEW_ADDRESS, pDB, pFrame) {}

// ---- lines ----

void CAddressView::EnterView() {
  m_bHasHeader = true;
  m_bLinesReady = false;
  m_nTopLine = 0;
  m_nHiLiteLine = 0;
  SetUpLines();
}

void CAddressView::ExitView() {
  CScrollBase::ExitView();
  m_paPersons.clear();
}

void CAddressView::DatabaseChanged() {
  m_naSelectedCategories.clear();
  m_bShowAll = false;
  m_paPersons.clear();
  m_nMaxLines = 0;
  m_bLinesReady = false;
}

void CAddressView::SetUpLines() {
  m_paPersons.clear();
  if (HasData()) {
    Database()->GetPersonPointerArray(m_paPersons, m_bShowAll ? 1 : 0);
    std::erase_if(m_paPersons, [this](const CPerson* p) { return !PassesCategories(*p); });
  }
  m_nMaxLines = int(m_paPersons.size());
  m_nHorzMax = 500;
  m_bLinesReady = true;
}

bool CAddressView::PassesCategories(const CPerson& person) const {
  return PassesCategoryFilter(person.m_naCategories, m_naSelectedCategories);
}

stFmtString CAddressView::GetLine(int nIndex, char /*cHint*/, char& cStatus) {
  cStatus = 0;
  if (!HasData()) return {nullptr, FMT_LINE, "Database closed"};
  const stFormatRecord* pFormat = Database()->GetFormat(kPersonListFormat);
  if (nIndex < 0) return {pFormat, FMT_HEADER, "Name\tPhone\tEmail"};
  if (size_t(nIndex) >= m_paPersons.size()) return {pFormat, FMT_LINE, ""};
  const CPerson& p = *m_paPersons[size_t(nIndex)];
  const std::string sSuffix = DiagnosticSuffix(p.m_nCode, p.m_nSequence);
  if (p.m_cType == 'B')
    return {pFormat, FMT_LINE,
            StrFormat("%s\t%s\t%s%s", p.m_sLastName.c_str(), p.m_sHomePhone.c_str(), p.m_sEmail.c_str(),
                      sSuffix.c_str())};
  return {pFormat, FMT_LINE,
          StrFormat("%s, %s\t%s\t%s%s", p.m_sLastName.c_str(), p.m_sFirstName.c_str(), p.m_sHomePhone.c_str(),
                    p.m_sEmail.c_str(), sSuffix.c_str())};
}

const CPerson* CAddressView::Highlighted() const {
  if (m_nHiLiteLine < 0 || size_t(m_nHiLiteLine) >= m_paPersons.size()) return nullptr;
  return m_paPersons[size_t(m_nHiLiteLine)];
}

uint32_t CAddressView::HighlightedCode() const {
  const CPerson* p = Highlighted();
  return p ? p->m_nCode : DB_NONE;
}

// ---- editing ----

void CAddressView::EditLine() {
  const uint32_t nCode = HighlightedCode();
  if (nCode == DB_NONE || !HasData()) return;
  m_bKeepPage = true;
  Reenable(Database()->EditTableItem(TABLE_PERSON, nCode) == eItemResult::Done);
}

void CAddressView::AddPerson() {
  if (!HasData()) return;
  m_bKeepPage = true;
  Reenable(Database()->AddTableItem(TABLE_PERSON, DB_NONE, nullptr, true) == eItemResult::Done);
}

void CAddressView::DeletePerson() {
  const uint32_t nCode = HighlightedCode();
  if (nCode == DB_NONE || !HasData()) return;
  m_bKeepPage = true;
  Reenable(Database()->DeleteTableItem(TABLE_PERSON, nCode, true) == eItemResult::Done);
}

void CAddressView::ProcessKey(int nKey) {
  if (nKey != 'I' && nKey != 'A') return;
  const uint32_t nCode = HighlightedCode();
  if (nCode == DB_NONE || !HasData()) return;
  const char cStatus = nKey == 'A' ? 'A' : 0;
  // Saved under the database lock on the person as it is now: a copy that
  // changed it meanwhile is read in first.
  const bool bSaved = Database()->SaveModifiedItem(TABLE_PERSON, nCode, [cStatus](CDataRecord& item) {
    auto& person = static_cast<CPerson&>(item);
    if (person.m_cStatus == cStatus) return false;
    person.SetStatus(cStatus);
    return true;
  }) == 1;
  Reenable(bSaved);
}

// ---- filters ----

void CAddressView::SelectAll() {
  m_naSelectedCategories.clear();
  m_bShowAll = true;
  Reenable(true);
}

void CAddressView::SelectActive() {
  m_bShowAll = false;
  Reenable(true);
}

void CAddressView::SelectCategories() {
  if (!HasData()) return;
  std::optional<std::vector<uint32_t>> naSelected = ChooseCategoryFilter(*Database());
  if (!naSelected) return;
  m_naSelectedCategories = std::move(*naSelected);
  Reenable(true);
}

void CAddressView::SelectFormat() {
  if (!HasData()) return;
  (void)Database()->EditFormatRecord(kPersonListFormat, "Person view", true);
  Invalidate();
}

// ---- choosing persons ----

std::vector<uint32_t> CAddressView::ChoosePersons(const std::function<bool(const CPerson&)>& fnOffer,
                                                  const std::function<std::string(const CPerson&)>& fnText,
                                                  const std::string& sNoneOffered) {
  std::vector<uint32_t> naOffered;
  std::vector<std::string> saTexts;
  for (const CPerson* p : m_paPersons)
    if (fnOffer(*p)) {
      naOffered.push_back(p->m_nCode);
      saTexts.push_back(fnText(*p));
    }
  if (naOffered.empty()) {
    GetResponse(sNoneOffered, MB_OK);
    return {};
  }
  std::vector<uint32_t> naCodes;
  for (const int i : ChooseListRows("Select persons", saTexts)) naCodes.push_back(naOffered[size_t(i)]);
  if (naCodes.empty()) GetResponse("None selected.", MB_OK);
  return naCodes;
}

// ---- e-mail ----

void CAddressView::SendTo(std::vector<stMailRecipient> recipients) {
  const int nClass = CMailHandOff::AskRecipientClass();
  if (nClass == 0) return;
  for (stMailRecipient& r : recipients) r.nClass = nClass;
  CMailHandOff::Send(Frame(), recipients);
}

void CAddressView::EmailHighlighted() {
  const CPerson* p = Highlighted();
  if (!p) return;
  if (p->m_sEmail.empty()) {
    GetResponse("No email address.", MB_OK);
    return;
  }
  SendTo({{MAIL_TO, NameFirstLast(*p), p->m_sEmail}});
}

void CAddressView::EmailGroup() {
  if (!HasData()) return;
  const std::vector<uint32_t> naCodes = ChoosePersons(
      [](const CPerson& p) { return !p.m_sEmail.empty(); },
      [](const CPerson& p) { return p.m_sLastName + ", " + p.m_sFirstName; }, "No email addresses found.");
  if (naCodes.empty()) return;
  // Found again by code: the list may have been rebuilt while the choice was open.
  std::vector<stMailRecipient> recipients;
  for (const uint32_t nCode : naCodes) {
    const auto* p = static_cast<const CPerson*>(Database()->GetPointer(TABLE_PERSON, nCode));
    if (p && !p->m_sEmail.empty()) recipients.push_back({MAIL_TO, NameFirstLast(*p), p->m_sEmail});
  }
  if (!recipients.empty()) SendTo(std::move(recipients));
}

// ---- export ----

void CAddressView::DoExport(char cKind) {
  if (!HasData()) return;
  // vCard 3.0 and 4.0 carry every field: every person of the list is offered.
  const bool bNewVCard = cKind == '3' || cKind == '4';
  const char cFileKind = bNewVCard ? 'V' : cKind;
  const std::vector<uint32_t> naCodes = ChoosePersons(
      [cKind, bNewVCard](const CPerson& p) { return bNewVCard || CContactExport::IsEligible(cKind, p); },
      [cKind](const CPerson& p) { return CContactExport::ChoiceText(cKind, p); }, "No items found.");
  if (naCodes.empty()) return;
  std::optional<std::string> sPath;
  {
    CBusyScope busy;
    sPath = GetUi().ChooseFile(
        true, CContactExport::FileCaption(cFileKind),
        CContactExport::FileCaption(cFileKind) + " (" + CContactExport::FileFilter(cFileKind) + ")", "");
  }
  if (!sPath || sPath->empty()) return;
  std::vector<const CPerson*> paChosen;
  for (const uint32_t nCode : naCodes)
    if (const auto* p = static_cast<const CPerson*>(Database()->GetPointer(TABLE_PERSON, nCode)))
      paChosen.push_back(p);
  std::string sError;
  CViewWaitCursor wait(Frame());
  const bool bOk = bNewVCard ? CVCardWriter(*Database(), cKind - '0').WriteFile(paChosen, *sPath, sError)
                             : CContactExport::WriteFile(cKind, paChosen, *sPath, sError);
  if (!bOk) GetResponse(sError, MB_OK);
}

void CAddressView::ImportVCard() {
  if (!HasData()) return;
  std::optional<std::string> sPath;
  {
    CBusyScope busy;
    sPath = GetUi().ChooseFile(false, "vCard files", "vCard files (*.vcf)", "");
  }
  if (!sPath || sPath->empty()) return;
  std::string sText;
  if (!ReadWholeFile(*sPath, sText)) {
    GetResponse("The file " + *sPath + " could not be read.", MB_OK);
    return;
  }
  m_bKeepPage = true;
  CVCardImport import(*Database());
  import.Prepare(sText);
  const bool bDone = import.Run(eDuplicateMode::Ask);
  if (bDone) GetResponse(import.SummaryText(), MB_OK);
  Reenable(bDone);
}

// ---- printing, phone ----

std::string CAddressView::LabelText(const CPerson& p) {
  const std::string sName = p.m_sFirstName.empty() ? p.m_sLastName : NameFirstLast(p);
  if (sName.empty()) return {};
  std::string sText;
  auto add = [&sText](const std::string& s) {
    if (!s.empty()) sText += s + "\r\n";
  };
  add(sName);
  add(p.m_sAddress1);
  add(p.m_sAddress2);
  if (!p.m_sCity.empty())
    add(StrFormat("%s, %s %s", p.m_sCity.c_str(), p.m_sState.c_str(), p.m_sZip.c_str()));
  add(p.m_sCountry);
  return sText;
}

void CAddressView::PrintLabel() {
  const CPerson* p = Highlighted();
  if (!p) return;
  const std::string sText = LabelText(*p);
  if (sText.empty()) {
    GetResponse("No name", MB_OK);
    return;
  }
  Frame().PrintLabel(*Database(), sText);
}

void CAddressView::Phone() {
  const CPerson* p = Highlighted();
  if (!p) return;
  std::vector<std::string> saNumbers;
  for (const std::string* s : {&p->m_sHomePhone, &p->m_sWorkPhone, &p->m_sCellPhone})
    if (!s->empty()) saNumbers.push_back(*s);
  if (saNumbers.empty()) return;
  m_bKeepPage = true;
  Frame().OpenPhoneDialer(*Database(), saNumbers);
  Reenable(true);
}

// ---- commands ----

void CAddressView::AddCommands(CCommandTable& t) {
  const eEnable open = eEnable::DatabaseOpen;
  t.Add(ID_ADDRESS_SELECT_ALL, kSelect, "&All", open, [this] { SelectAll(); });
  t.Add(ID_ADDRESS_SELECT_ACTIVE, kSelect, "ac&Tive", open, [this] { SelectActive(); });
  t.Add(ID_ADDRESS_SELECT_CATEGORY, kSelect, "&Category", open, [this] { SelectCategories(); });
  t.Add(ID_ADDRESS_SELECT_FORMAT, kSelect, "&Format", open, [this] { SelectFormat(); });
  t.Add(ID_ADDRESS_ADD, MENU_BAR, "&Add", open, [this] { AddPerson(); });
  t.Add(ID_ADDRESS_EDIT, MENU_BAR, "&Edit", open, [this] { EditLine(); });
  t.Add(ID_ADDRESS_DELETE, MENU_BAR, "&Delete", open, [this] { DeletePerson(); });
  t.Add(ID_ADDRESS_EMAIL_ONE, kEmail, "&Highlighted entry", open, [this] { EmailHighlighted(); });
  t.Add(ID_ADDRESS_EMAIL_GROUP, kEmail, "&Group", open, [this] { EmailGroup(); });
  t.Add(ID_ADDRESS_EXPORT_TEXT, kExport, "&Text, tab delimited", open, [this] { DoExport('T'); });
  t.Add(ID_ADDRESS_EXPORT_VCARD, kExport, "&vCard", open, [this] { DoExport('V'); });
  t.Add(ID_ADDRESS_EXPORT_BLACKBERRY, kExport, "&Blackberry", open, [this] { DoExport('B'); });
  t.Add(ID_ADDRESS_EXPORT_LABELS, kExport, "&Label printer", open, [this] { DoExport('L'); });
  t.Add(ID_ADDRESS_EXPORT_CSV, kExport, "&Email, CSV", open, [this] { DoExport('E'); });
  t.Add(ID_ADDRESS_EXPORT_VCARD3, kExport, "Export vCard &3.0...", open, [this] { DoExport('3'); });
  t.Add(ID_ADDRESS_EXPORT_VCARD4, kExport, "Export vCard &4.0...", open, [this] { DoExport('4'); });
  t.Add(ID_ADDRESS_IMPORT_VCARD, kExport, "&Import vCard...", open, [this] { ImportVCard(); });
  t.Add(ID_ADDRESS_PRINT_ALL, kPrint, "Print &all", open, [this] { PrintList(); });
  t.Add(ID_ADDRESS_PRINT_LABEL, kPrint, "&Label", open, [this] { PrintLabel(); });
  t.Add(ID_ADDRESS_PHONE, MENU_BAR, "p&Hone", open, [this] { Phone(); });
}
