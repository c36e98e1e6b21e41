#include "exchange/CVCardImport.h"

#include <algorithm>
#include <map>

#include "data/CDuplicateFinder.h"
#include "data/CTableManager.h"
#include "support/CUserInterface.h"
#include "support/StringUtil.h"
#include "support/UserPrompts.h"

namespace {

constexpr size_t PREVIEW_LINES = 10;  // duplicates listed by name in the preview

std::string DisplayName(const CPerson& p) {
  return p.m_cType == 'B' || p.m_sFirstName.empty() ? p.m_sLastName : p.m_sLastName + ", " + p.m_sFirstName;
}

// The merge: every empty text field takes the card's value, and comment
// lines and categories the person lacks are added.
bool MergeInto(CPerson& p, const CPerson& card, const std::vector<uint32_t>& naCategories) {
  const CPerson before = p;
  for (auto [pTo, pFrom] : {std::pair{&p.m_sAddress1, &card.m_sAddress1},
                            {&p.m_sAddress2, &card.m_sAddress2},
                            {&p.m_sCity, &card.m_sCity},
                            {&p.m_sState, &card.m_sState},
                            {&p.m_sZip, &card.m_sZip},
                            {&p.m_sCountry, &card.m_sCountry},
                            {&p.m_sHomePhone, &card.m_sHomePhone},
                            {&p.m_sWorkPhone, &card.m_sWorkPhone},
                            {&p.m_sCellPhone, &card.m_sCellPhone},
                            {&p.m_sFax, &card.m_sFax},
                            {&p.m_sEmail, &card.m_sEmail},
                            {&p.m_sFirstName, &card.m_sFirstName}})
    if (pTo->empty()) *pTo = *pFrom;
  for (const std::string& s : card.m_saComments)
    if (std::find(p.m_saComments.begin(), p.m_saComments.end(), s) == p.m_saComments.end())
      p.m_saComments.push_back(s);
  for (uint32_t n : naCategories)
    if (!p.IsCategorySelected(n)) p.m_naCategories.push_back(n);
  return !(p == before);
}

}  // namespace

void CVCardImport::Prepare(std::string_view sText) {
  m_entries = CVCardReader::Read(sText, m_saProblems);
  m_matches.assign(m_entries.size(), {});
  m_naResults.assign(m_entries.size(), DB_NONE);
  m_baAdded.assign(m_entries.size(), false);
  m_counts = {};
  m_counts.nRead = m_entries.size();
  // A UID is no match by itself: databases of the same file name elsewhere
  // give other persons the same UIDs.
  CDuplicateFinder inDatabase, inFile;
  for (const stIndex& e : *m_db.PtrToIndexArray(TABLE_PERSON))
    inDatabase.Add(static_cast<const CPerson&>(*e.m_pItem));
  for (size_t i = 0; i < m_entries.size(); ++i) {
    const CPerson& p = m_entries[i].person;
    stMatch& m = m_matches[i];
    if ((m.nTarget = inDatabase.Find(p, DB_NONE, &m.sWhy)) == DB_NONE) {
      m.nTarget = inFile.Find(p, DB_NONE, &m.sWhy);
      m.bInFile = m.nTarget != DB_NONE;
    }
    inFile.Add(p, uint32_t(i));
    ++(m.nTarget == DB_NONE ? m_counts.nNew : m_counts.nDuplicates);
  }
}

std::string CVCardImport::Describe(const stMatch& m) const {
  if (m.bInFile) return "an earlier card, " + DisplayName(m_entries[m.nTarget].person);
  const auto* p = static_cast<const CPerson*>(m_db.GetPointer(TABLE_PERSON, m.nTarget));
  return p ? DisplayName(*p) : m_db.GetPersonName(m.nTarget, true);
}

std::string CVCardImport::PreviewText() const {
  std::string s = StrFormat("%zu persons in the file: %zu new, %zu likely duplicates.", m_counts.nRead,
                            m_counts.nNew, m_counts.nDuplicates);
  size_t nListed = 0;
  for (size_t i = 0; i < m_entries.size() && nListed < PREVIEW_LINES; ++i) {
    if (m_matches[i].nTarget == DB_NONE) continue;
    s += StrFormat("\n%s may be a duplicate of %s (%s).", DisplayName(m_entries[i].person).c_str(),
                   Describe(m_matches[i]).c_str(), m_matches[i].sWhy.c_str());
    ++nListed;
  }
  if (nListed < m_counts.nDuplicates) s += StrFormat("\n... and %zu more.", m_counts.nDuplicates - nListed);
  return s;
}

eDuplicateMode CVCardImport::AskMode() const {
  if (m_counts.nDuplicates == 0)
    return GetResponse(PreviewText() + "\n\nImport them?", MB_YESNO, 0, IDYES) == IDYES ? eDuplicateMode::Add
                                                                                        : eDuplicateMode::Ask;
  static const std::vector<std::string> kChoices = {
      "Merge each duplicate into its person (fill empty fields, add categories)", "Skip the duplicates",
      "Add the duplicates as new persons"};
  // The preview is a message of its own: a choice list shows its caption
  // as a window title only.
  if (GetResponse(PreviewText(), MB_OKCANCEL, 0, IDOK) != IDOK) return eDuplicateMode::Ask;
  std::optional<std::vector<int>> choice;
  {
    CBusyScope busy;
    choice = GetUi().ChooseFromList("What to do with the likely duplicates", kChoices, false);
  }
  if (!choice || choice->empty()) return eDuplicateMode::Ask;
  const eDuplicateMode kModes[] = {eDuplicateMode::Merge, eDuplicateMode::Skip, eDuplicateMode::Add};
  return kModes[std::clamp((*choice)[0], 0, 2)];
}

uint32_t CVCardImport::ResultCode(const stMatch& m) const {
  return m.bInFile ? m_naResults[m.nTarget] : m.nTarget;
}

std::vector<uint32_t> CVCardImport::CategoryCodes(const stVCardEntry& entry) {
  std::vector<uint32_t> na;
  for (const std::string& sName : entry.saCategories) {
    const uint32_t nCode = m_db.FoundCategoryInList(sName);
    if (nCode == DB_NONE)
      m_saProblems.push_back("The category " + sName + " could not be added.");
    else if (std::find(na.begin(), na.end(), nCode) == na.end())
      na.push_back(nCode);
  }
  return na;
}

void CVCardImport::AddNew(size_t i) {
  CPerson person = m_entries[i].person;
  person.m_naCategories = CategoryCodes(m_entries[i]);
  uint32_t nCode = DB_NONE;
  if (m_db.AddTableItem(TABLE_PERSON, DB_NONE, &person, false, {}, &nCode) != eItemResult::Done) {
    ++m_counts.nFailed;
    m_saProblems.push_back(DisplayName(person) + " could not be added.");
    return;
  }
  m_naResults[i] = nCode;
  m_baAdded[i] = true;
  ++m_counts.nAdded;
}

void CVCardImport::Merge(stVCardEntry& entry, uint32_t nCode) {
  const auto* pCurrent = static_cast<const CPerson*>(m_db.GetPointer(TABLE_PERSON, nCode));
  if (!pCurrent) {
    ++m_counts.nFailed;
    return;
  }
  CPerson merged = *pCurrent;
  if (MergeInto(merged, entry.person, CategoryCodes(entry)) &&
      !m_db.SaveModifiedItem(TABLE_PERSON, nCode, merged)) {
    ++m_counts.nFailed;
    m_saProblems.push_back(DisplayName(merged) + " could not be merged.");
    return;
  }
  ++m_counts.nMerged;
}

// A dependent added from the file depends on the person whose card in the
// file it names, once every card has its person.
void CVCardImport::LinkDependents() {
  std::map<std::string, uint32_t> uids;
  for (size_t i = 0; i < m_entries.size(); ++i)
    if (!m_entries[i].sUid.empty() && m_naResults[i] != DB_NONE) uids[m_entries[i].sUid] = m_naResults[i];
  for (size_t i = 0; i < m_entries.size(); ++i) {
    const auto it = uids.find(m_entries[i].sDependsOn);
    if (!m_baAdded[i] || m_entries[i].person.m_cStatus != 'D' || it == uids.end()) continue;
    const uint32_t nOn = it->second;
    m_db.SaveModifiedItem(TABLE_PERSON, m_naResults[i], [nOn](CDataRecord& r) {
      static_cast<CPerson&>(r).m_nDependentOn = nOn;
      return true;
    });
  }
}

bool CVCardImport::Run(eDuplicateMode nMode) {
  if (nMode == eDuplicateMode::Ask) nMode = AskMode();
  if (nMode == eDuplicateMode::Ask) return false;
  for (size_t i = 0; i < m_entries.size(); ++i) {
    const uint32_t nTarget = ResultCode(m_matches[i]);
    const bool bDuplicate = m_matches[i].nTarget != DB_NONE;
    if (!bDuplicate || nMode == eDuplicateMode::Add) {
      AddNew(i);
    } else if (nMode == eDuplicateMode::Merge && nTarget != DB_NONE) {
      Merge(m_entries[i], nTarget);
      m_naResults[i] = nTarget;
    } else {
      m_naResults[i] = nTarget;
      ++m_counts.nSkipped;
    }
  }
  LinkDependents();
  return true;
}

std::string CVCardImport::SummaryText() const {
  std::string s =
      StrFormat("%zu added, %zu merged, %zu skipped.", m_counts.nAdded, m_counts.nMerged, m_counts.nSkipped);
  for (const std::string& sProblem : m_saProblems) s += "\n" + sProblem;
  return s;
}
