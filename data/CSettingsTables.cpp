#include "data/CSettingsTables.h"

#include <cmath>

#include "support/CConfigFile.h"
#include "support/CDialogWaitBox.h"
#include "support/CUserInterface.h"
#include "support/Diagnostic.h"
#include "support/StringUtil.h"
#include "support/UserPrompts.h"

namespace {

constexpr uint32_t CONFIG_KEY = 1;
constexpr uint32_t VARDATA_KEY = 1;
constexpr int MAX_POINTS = int(MAX_FONT_SIZE / 10);

stEditField NumberField(const std::string& sName, long long nValue, int nMin, int nMax) {
  stEditField f;
  f.sName = sName;
  f.sValue = std::to_string(nValue);
  f.nMaxLen = 12;
  f.nMin = nMin;
  f.nMax = nMax;
  return f;
}

stEditField TextField(const std::string& sName, const std::string& sValue, int nMaxLen) {
  stEditField f;
  f.sName = sName;
  f.sValue = sValue;
  f.nMaxLen = nMaxLen;
  return f;
}

stEditField FlagField(const std::string& sName, int bValue) {
  return NumberField(sName, bValue ? 1 : 0, 0, 1);
}

// The form's number, or nKeep when the field is missing or not a number.
long long FormNumber(const stEditForm& form, const char* pName, long long nKeep) {
  const std::string* p = form.Find(pName);
  long long n = 0;
  return (p && ParseInt(*p, n)) ? n : nKeep;
}

uint8_t FormFlag(const stEditForm& form, const char* pName, uint8_t cKeep) {
  return uint8_t(FormNumber(form, pName, cKeep) != 0);
}

// A size shown in whole points: taken back only when the user changed it, so
// a size of 9.5 pt that was not touched keeps its tenths.
uint32_t FormPointSize(const stEditForm& form, uint32_t nTenths) {
  const long long nShown = nTenths / 10;
  const long long n = FormNumber(form, "Size", nShown);
  if (n == nShown || n < 1 || n > MAX_POINTS) return nTenths;
  return uint32_t(n * 10);
}

float FormMargin(const stEditForm& form, const char* pName, float fKeep) {
  const std::string* p = form.Find(pName);
  double d = 0.0;
  if (!p || !ParseDouble(*p, d) || !(d >= 0.0 && d <= MAX_MARGIN)) return fKeep;
  return float(d);
}

std::string MarginText(float f) { return FormatDouble(double(f)); }

void AddFontFields(stEditForm& form, const stFormatRecord& f) {
  form.fields.push_back(TextField("Face", f.m_sFaceName, int(FACE_NAME_SIZE - 1)));
  form.fields.push_back(NumberField("Size", f.m_nSize / 10, 1, MAX_POINTS));
}

void TakeFontFields(const stEditForm& form, stFormatRecord& f) {
  const std::string* pFace = form.Find("Face");
  if (pFace && !Trim(*pFace).empty()) f.m_sFaceName = Trim(*pFace);
  f.m_nSize = FormPointSize(form, f.m_nSize);
}

}  // namespace

CSettingsTables::CSettingsTables() {
  std::vector<std::string> saNames;
  for (int n = 0; n < DB_TABLE_NAMES; ++n) saNames.emplace_back(DefaultTableName(n));
  SetTableNames(saNames);
  CreateDefaultFonts();
  CreateDefaultPageLayouts();
}

CSettingsTables::~CSettingsTables() = default;

// ---- accessors ----

const stFormatRecord* CSettingsTables::GetFormat(uint32_t nCode) const {
  return nCode < m_caFormats.size() ? &m_caFormats[nCode] : nullptr;
}

const std::string& CSettingsTables::GetFormatName(uint32_t nCode) const {
  static const std::string kNone;
  return nCode < m_saFormatNames.size() ? m_saFormatNames[nCode] : kNone;
}

const stPageLayout* CSettingsTables::GetPageLayout(uint32_t nCode) const {
  return nCode < m_caPageLayouts.size() ? &m_caPageLayouts[nCode] : nullptr;
}

// ---- record I/O ----

uint32_t CSettingsTables::WriteEncodedRecord(uint8_t nTable, uint32_t nKey,
                                             const std::function<uint32_t(stRecordBuffer&)>& fnEncode) {
  stRecordBuffer b(m_cBuffer, DB_MAX_BLOCK);
  const uint32_t nLen = fnEncode(b);
  if (b.m_bFailed || nLen == 0) {
    KTRACE("WriteEncodedRecord: %s key %u not written: %s\n", GetTableName(nTable).c_str(), nKey,
           b.m_sFailure.c_str());
    GetResponse(b.m_sFailure.empty() ? std::string("The record could not be saved.") : b.m_sFailure, MB_OK);
    return DB_NONE;
  }
  return WriteRecord(nLen, nTable, nKey, 0, 0);
}

bool CSettingsTables::IsPayloadPlausible(const stDataHeader& header) {
  return header.nDataLen != 0 && header.nDataLen <= header.nBlkLen &&
         header.nCurrLoc <= DB_MAX_LOCATION - DB_HEADER_LEN;
}

bool CSettingsTables::ReadPayload(const stDataHeader& header, stRecordBuffer& out) {
  if (!IsPayloadPlausible(header)) return false;
  if (ReadDbBlock(header.nCurrLoc + DB_HEADER_LEN, m_cBuffer, header.nDataLen, 1) != header.nDataLen)
    return false;
  out = stRecordBuffer(m_cBuffer, header.nDataLen);
  return true;
}

bool CSettingsTables::ReadTableRecordView(uint8_t nTable, uint32_t nKey, stRecordBuffer& out) {
  const int nIndex = GetHeaderLoc(nTable, nKey, 0);
  if (nIndex < 0) return false;
  const stDataHeader header = m_caDataHeaders[size_t(nIndex)];
  return ReadPayload(header, out);
}

// ---- configuration record ----

int CSettingsTables::ReadConfigurationTable() {
  stRecordBuffer b(m_cBuffer, 0);
  return ReadTableRecordView(TABLE_FLAGS, CONFIG_KEY, b) ? m_ConFig.ReadBufferConFig(b) : 0;
}

int CSettingsTables::LoadConfigurationTableFromFile(const stDataHeader& header) {
  stRecordBuffer b(m_cBuffer, 0);
  return ReadPayload(header, b) ? m_ConFig.ReadBufferConFig(b) : 0;
}

int CSettingsTables::SaveConfigurationTable() {
  m_ConFig.m_saStrings.clear();
  return WriteEncodedRecord(TABLE_FLAGS, CONFIG_KEY,
                            [&](stRecordBuffer& b) { return m_ConFig.LoadBufferConFig(b); }) != DB_NONE;
}

// ---- parameters record ----

int CSettingsTables::ReadVarRecord() {
  stRecordBuffer b(m_cBuffer, 0);
  if (!ReadTableRecordView(TABLE_PARAMETERS, VARDATA_KEY, b)) return 0;
  if (!CVarData::ReadBufferVarData(m_VarData, b)) return 0;
  CVarData::ApplyLimits(m_VarData);
  return 1;
}

int CSettingsTables::LoadVarRecordFromFile(const stDataHeader& header) {
  stRecordBuffer b(m_cBuffer, 0);
  if (!ReadPayload(header, b) || !CVarData::ReadBufferVarData(m_VarData, b)) return 0;
  CVarData::ApplyLimits(m_VarData);
  return 1;
}

int CSettingsTables::SaveVarRecord() {
  return WriteEncodedRecord(TABLE_PARAMETERS, VARDATA_KEY, [&](stRecordBuffer& b) {
           return CVarData::LoadBufferVarData(m_VarData, b);
         }) != DB_NONE;
}

void CSettingsTables::FillSetupForm(stEditForm& form, const stVarData& v) const {
  form.sDialog = "Setup";
  form.sTitle = "Setup";
  for (const auto& r : CVarData::Ranges())
    form.fields.push_back(NumberField(r.m_pLabel, v.*r.m_pField, r.m_nMin, r.m_nMax));
  const stAppSettings& app = AppSettings();
  form.fields.push_back(FlagField(SetupField::kPopupEnable, app.bPopup));
  form.fields.push_back(
      NumberField(SetupField::kPopupHour, app.nPopupHour, kPopupHourRange.m_nMin, kPopupHourRange.m_nMax));
  form.fields.push_back(NumberField(SetupField::kPopupMinute, app.nPopupMinute, kPopupMinuteRange.m_nMin,
                                    kPopupMinuteRange.m_nMax));
  form.fields.push_back(TextField(SetupField::kBackupPath, app.sBackup, 4095));
  form.fields.push_back(FlagField(SetupField::kNetworkDisable, app.nNetworkDisable));
  form.fields.push_back(FlagField(SetupField::kEmailCheck, app.nEmailCheckEnable));
}

void CSettingsTables::TakeSetupForm(const stEditForm& form, stVarData& v) {
  // The limits applied here are the ones every read applies, so this copy
  // keeps exactly what every other copy will see.
  for (const auto& r : CVarData::Ranges())
    v.*r.m_pField =
        LimitInt(r.m_nMin, r.m_nMax, r.m_nDefault, int32_t(FormNumber(form, r.m_pLabel, v.*r.m_pField)));
  stAppSettings& app = AppSettings();
  const bool bPopup = FormFlag(form, SetupField::kPopupEnable, app.bPopup) != 0;
  if (bPopup && !app.bPopup) app.dLastPopup = 0.0;
  app.bPopup = bPopup;
  const auto limited = [&](const stParamRange& r, int nKeep) {
    return LimitInt(r.m_nMin, r.m_nMax, r.m_nDefault, int32_t(FormNumber(form, r.m_pLabel, nKeep)));
  };
  app.nPopupHour = limited(kPopupHourRange, app.nPopupHour);
  app.nPopupMinute = limited(kPopupMinuteRange, app.nPopupMinute);
  if (const std::string* p = form.Find(SetupField::kBackupPath)) app.sBackup = Trim(*p);
  const int nNetworkDisable = FormFlag(form, SetupField::kNetworkDisable, uint8_t(app.nNetworkDisable != 0));
  if (nNetworkDisable != (app.nNetworkDisable != 0))
    GetResponse("Change in disable network flag will not take effect until Kelvo is closed and restarted.",
                MB_OK);
  app.nNetworkDisable = nNetworkDisable;
  app.nEmailCheckEnable = FormFlag(form, SetupField::kEmailCheck, uint8_t(app.nEmailCheckEnable != 0));
}

bool CSettingsTables::SaveParametersAfterLock(const stVarData& edited) {
  CDialogWaitBox* pBox = StartWaitBox("Save miscellaneous parameter record.");
  const stVarData before = m_VarData;
  m_VarData = edited;
  const int nVar = SaveVarRecord();
  const int nConfig = SaveConfigurationTable();
  SetRefreshFlags(TABLE_PARAMETERS, VARDATA_KEY, DB_NONE);
  const int nFlushed = UnlockDatabase();
  EndWaitBox(pBox);
  if (nVar && nConfig && nFlushed) return true;
  // Memory shows what the file holds, not what could not be saved.
  m_VarData = before;
  ReadVarRecord();
  ReadConfigurationTable();
  return false;
}

eItemResult CSettingsTables::EditVarRecord(bool bShowDialog) {
  const uint32_t nLockLoc = LockRecord(TABLE_PARAMETERS, VARDATA_KEY);
  if (nLockLoc == DB_NONE) return eItemResult::Cancelled;
  // The dialog edits a copy: a refresh that re-reads the parameters while the
  // database is being locked cannot overwrite what the user chose.
  stVarData edited = m_VarData;
  if (bShowDialog) {
    stEditForm form;
    FillSetupForm(form, edited);
    DataRefreshOff("CDialogConfigure");
    const int nAnswer = GetUi().EditItem(form);
    DataRefreshOn("CDialogConfigure");
    if (nAnswer != IDOK) {
      UnlockRecordOf(TABLE_PARAMETERS, VARDATA_KEY, nLockLoc);
      return eItemResult::Cancelled;
    }
    TakeSetupForm(form, edited);
  }
  eItemResult nResult = eItemResult::Cancelled;
  if (LockAndRefreshDatabase("save configuration data") && SaveParametersAfterLock(edited))
    nResult = eItemResult::Done;
  UnlockRecordOf(TABLE_PARAMETERS, VARDATA_KEY, nLockLoc);
  return nResult;
}

// ---- formats ----

void CSettingsTables::AddFormat(const std::string& sName, uint32_t nCode, const std::string& sFace, int bBold,
                                int bCenter, uint32_t nSize, const std::string& sTabStops) {
  m_saFormatNames.push_back(sName);
  if (nCode >= m_caFormats.size()) m_caFormats.resize(nCode + 1);
  m_caFormats[nCode] = CFormatRecord::MakeFormat(nCode, sFace, bBold, bCenter, nSize, sTabStops);
}

void CSettingsTables::CreateDefaultFonts() {
  ClearTableFormat();
  m_caFormats.reserve(FORMAT_COUNT);
  for (uint32_t n = 0; n < FORMAT_COUNT; ++n) {
    const stFormatDefault& d = CFormatRecord::DefaultSpec(n);
    AddFormat(d.m_pName, n, d.m_pFace, d.m_bBold, 0, d.m_nSize, d.m_pTabStops);
  }
  m_pRtfFormat = &m_caFormats[1];
}

void CSettingsTables::ClearTableFormat() {
  m_caFormats.clear();
  m_saFormatNames.clear();
  m_pRtfFormat = nullptr;
}

bool CSettingsTables::PlaceFormat(stFormatRecord&& format, uint32_t nKey) {
  if (nKey >= FORMAT_COUNT || nKey >= m_caFormats.size()) return false;
  CFormatRecord::Sanitize(format, nKey);
  m_caFormats[nKey] = std::move(format);
  return true;
}

int CSettingsTables::LoadFormatRecordFromFile(const stDataHeader& header) {
  stRecordBuffer b(m_cBuffer, 0);
  stFormatRecord format;
  if (!ReadPayload(header, b) || !CFormatRecord::ReadBufferFormatRecord(format, b)) return 0;
  PlaceFormat(std::move(format), header.nKey);  // other keys are read and ignored
  return 1;
}

int CSettingsTables::ReadFormatRecord(uint32_t nCode) {
  stRecordBuffer b(m_cBuffer, 0);
  stFormatRecord format;
  if (nCode >= m_caFormats.size() || !ReadTableRecordView(TABLE_FONT, nCode, b) ||
      !CFormatRecord::ReadBufferFormatRecord(format, b))
    return 0;
  return PlaceFormat(std::move(format), nCode) ? 1 : 0;
}

int CSettingsTables::ReadFormatRecordTable() {
  std::vector<uint32_t> naLocs;
  GetFileLocations(TABLE_FONT, naLocs);
  std::vector<bool> baSeen(FORMAT_COUNT, false);
  for (uint32_t nLoc : naLocs) {
    uint32_t nKey = DB_NONE;
    const uint32_t nLen = ReadRecord(nLoc, 1, &nKey);
    stRecordBuffer b(m_cBuffer, nLen);
    stFormatRecord format;
    if (nLen && CFormatRecord::ReadBufferFormatRecord(format, b) && PlaceFormat(std::move(format), nKey))
      baSeen[nKey] = true;
  }
  WriteMissingSettings(baSeen, std::vector<bool>(PAGE_LAYOUT_COUNT, true));
  return 1;
}

uint32_t CSettingsTables::SaveFormatRecord(const stFormatRecord& format) {
  return WriteEncodedRecord(TABLE_FONT, format.m_nCode, [&](stRecordBuffer& b) {
    return CFormatRecord::LoadBufferFormatRecord(format, b);
  });
}

int CSettingsTables::SaveFormatRecordTable() {
  int nOk = 1;
  for (const auto& format : m_caFormats)
    if (SaveFormatRecord(format) == DB_NONE) nOk = 0;
  return nOk;
}

int CSettingsTables::SaveModifiedFormatRecord(const stFormatRecord& format) {
  // A copy: the caller's object may be one of ours, which the refresh rewrites.
  const stFormatRecord edited = format;
  if (!LockAndRefreshDatabase("save format data")) return 0;
  return SaveFormatAfterLock(edited) ? 1 : 0;
}

bool CSettingsTables::SaveFormatAfterLock(const stFormatRecord& edited) {
  const uint32_t nCode = edited.m_nCode;
  CDialogWaitBox* pBox = StartWaitBox(StrFormat("Save format record %u.", nCode));
  const stFormatRecord before = nCode < m_caFormats.size() ? m_caFormats[nCode] : edited;
  if (nCode < m_caFormats.size()) m_caFormats[nCode] = edited;
  const uint32_t nLoc = SaveFormatRecord(edited);
  // Announced also after a failure: headers may have changed on the way.
  SetRefreshFlags(TABLE_FONT, nCode, nLoc);
  const int nFlushed = UnlockDatabase();
  EndWaitBox(pBox);
  if (nLoc != DB_NONE && nFlushed) return true;
  // Memory shows what the file holds, not what could not be saved.
  if (nCode < m_caFormats.size()) {
    m_caFormats[nCode] = before;
    ReadFormatRecord(nCode);
  }
  return false;
}

eItemResult CSettingsTables::EditFormatRecord(uint32_t nCode, const std::string& sTitle, bool bTabsEditable) {
  if (nCode >= m_caFormats.size()) return eItemResult::Cancelled;
  const uint32_t nLockLoc = LockRecord(TABLE_FONT, nCode);
  if (nLockLoc == DB_NONE) return eItemResult::Cancelled;
  // The dialog works on a copy while the refresh is suspended, so nothing can
  // replace or free the format under it.
  stFormatRecord edited = m_caFormats[nCode];
  stEditForm form;
  form.sDialog = "Format";
  form.sTitle = StrFormat("Format %s", sTitle.c_str());
  AddFontFields(form, edited);
  form.fields.push_back(FlagField("Bold", edited.m_bBold));
  form.fields.push_back(FlagField("Italics", edited.m_bItalics));
  form.fields.push_back(FlagField("Underline", edited.m_bUnderline));
  form.fields.push_back(FlagField("Center", edited.m_bCenter));
  if (bTabsEditable)
    form.fields.push_back(TextField("Tab stops", CFormatRecord::TabStopText(edited.m_daTabStops), 1000));
  DataRefreshOff("CDialogFormat");
  const int nAnswer = GetUi().EditItem(form);
  DataRefreshOn("CDialogFormat");
  if (nAnswer != IDOK) {
    UnlockRecordOf(TABLE_FONT, nCode, nLockLoc);
    return eItemResult::Cancelled;
  }
  TakeFontFields(form, edited);
  edited.m_bBold = FormFlag(form, "Bold", edited.m_bBold);
  edited.m_bItalics = FormFlag(form, "Italics", edited.m_bItalics);
  edited.m_bUnderline = FormFlag(form, "Underline", edited.m_bUnderline);
  edited.m_bCenter = FormFlag(form, "Center", edited.m_bCenter);
  if (const std::string* p = bTabsEditable ? form.Find("Tab stops") : nullptr) {
    stFormatRecord tabs;
    tabs.m_daTabStops = CFormatRecord::ParseTabStops(*p);
    CFormatRecord::Sanitize(tabs, nCode);  // nonsense tab stops fall back to the defaults
    edited.m_daTabStops = tabs.m_daTabStops;
  }
  edited.m_nCode = nCode;
  const eItemResult nResult = LockAndRefreshDatabase("save format data") && SaveFormatAfterLock(edited)
                                  ? eItemResult::Done
                                  : eItemResult::Cancelled;
  UnlockRecordOf(TABLE_FONT, nCode, nLockLoc);
  return nResult;
}

// ---- page layouts ----

void CSettingsTables::CreateDefaultPageLayouts() {
  m_caPageLayouts.clear();
  for (uint32_t n = 0; n < PAGE_LAYOUT_COUNT; ++n) m_caPageLayouts.push_back(CPageLayout::DefaultLayout(n));
}

void CSettingsTables::ClearTablePageLayout() { m_caPageLayouts.clear(); }

bool CSettingsTables::PlaceLayout(stPageLayout&& layout, uint32_t nKey) {
  if (nKey >= PAGE_LAYOUT_COUNT) return false;
  CPageLayout::Sanitize(layout, nKey);
  if (nKey >= m_caPageLayouts.size()) m_caPageLayouts.resize(nKey + 1);
  m_caPageLayouts[nKey] = std::move(layout);
  return true;
}

int CSettingsTables::LoadPageLayoutRecordFromFile(const stDataHeader& header) {
  stRecordBuffer b(m_cBuffer, 0);
  stPageLayout layout;
  if (!ReadPayload(header, b) || !CPageLayout::ReadBufferPageLayout(layout, b)) return 0;
  layout.m_nCode = header.nKey;
  CPageLayout::ClearMarginsOfPlainLayout(layout);
  PlaceLayout(std::move(layout), header.nKey);  // other keys are read and ignored
  return 1;
}

int CSettingsTables::ReadPageLayoutRecord(uint32_t nCode) {
  stRecordBuffer b(m_cBuffer, 0);
  stPageLayout layout;
  if (nCode >= m_caPageLayouts.size() || !ReadTableRecordView(TABLE_PAGELAYOUT, nCode, b) ||
      !CPageLayout::ReadBufferPageLayout(layout, b))
    return 0;
  return PlaceLayout(std::move(layout), nCode) ? 1 : 0;
}

int CSettingsTables::ReadPageLayoutTable() {
  std::vector<uint32_t> naLocs;
  GetFileLocations(TABLE_PAGELAYOUT, naLocs);
  std::vector<bool> baSeen(PAGE_LAYOUT_COUNT, false);
  for (uint32_t nLoc : naLocs) {
    uint32_t nKey = DB_NONE;
    const uint32_t nLen = ReadRecord(nLoc, 1, &nKey);
    stRecordBuffer b(m_cBuffer, nLen);
    stPageLayout layout;
    // This whole-table read keeps the stored margins of layouts 2 and 3.
    if (nLen && CPageLayout::ReadBufferPageLayout(layout, b) && PlaceLayout(std::move(layout), nKey))
      baSeen[nKey] = true;
  }
  WriteMissingSettings(std::vector<bool>(FORMAT_COUNT, true), baSeen);
  return 1;
}

uint32_t CSettingsTables::SavePageLayoutRecord(const stPageLayout& layout) {
  return WriteEncodedRecord(TABLE_PAGELAYOUT, layout.m_nCode,
                            [&](stRecordBuffer& b) { return CPageLayout::LoadBufferPageLayout(layout, b); });
}

int CSettingsTables::SavePageLayoutTable() {
  int nOk = 1;
  for (const auto& layout : m_caPageLayouts)
    if (SavePageLayoutRecord(layout) == DB_NONE) nOk = 0;
  return nOk;
}

eItemResult CSettingsTables::EditPageLayoutRecord(uint32_t nCode, const std::string& sTitle) {
  if (nCode >= m_caPageLayouts.size()) return eItemResult::Cancelled;
  const uint32_t nLockLoc = LockRecord(TABLE_PAGELAYOUT, nCode);
  if (nLockLoc == DB_NONE) return eItemResult::Cancelled;
  stPageLayout edited = m_caPageLayouts[nCode];
  stEditForm form;
  form.sDialog = "Page layout";
  form.sTitle = sTitle;
  form.fields.push_back(TextField("Top margin", MarginText(edited.m_fTopMargin), 12));
  form.fields.push_back(TextField("Bottom margin", MarginText(edited.m_fBottomMargin), 12));
  form.fields.push_back(TextField("Left margin", MarginText(edited.m_fLeftMargin), 12));
  AddFontFields(form, edited.m_stPageFont);
  form.fields.push_back(FlagField("Landscape", int(edited.m_nLandscape)));
  DataRefreshOff("CDialogPageLayout");
  const int nAnswer = GetUi().EditItem(form);
  DataRefreshOn("CDialogPageLayout");
  eItemResult nResult = eItemResult::Cancelled;
  if (nAnswer == IDOK) {
    edited.m_fTopMargin = FormMargin(form, "Top margin", edited.m_fTopMargin);
    edited.m_fBottomMargin = FormMargin(form, "Bottom margin", edited.m_fBottomMargin);
    edited.m_fLeftMargin = FormMargin(form, "Left margin", edited.m_fLeftMargin);
    TakeFontFields(form, edited.m_stPageFont);
    edited.m_nLandscape = FormFlag(form, "Landscape", uint8_t(edited.m_nLandscape != 0));
    if (LockAndRefreshDatabase("save page layout")) {
      CDialogWaitBox* pBox = StartWaitBox(StrFormat("Save page layout record %u.", nCode));
      m_caPageLayouts[nCode] = edited;
      const uint32_t nLoc = SavePageLayoutRecord(edited);
      SetRefreshFlags(TABLE_PAGELAYOUT, nCode, nLoc);
      UnlockDatabase();
      EndWaitBox(pBox);
      nResult = eItemResult::Done;
    }
  }
  UnlockRecordOf(TABLE_PAGELAYOUT, nCode, nLockLoc);
  return nResult;
}

// ---- new files and missing records ----

int CSettingsTables::WriteDefaultSettingsRecords() {
  m_ConFig = CConFigTable();
  m_VarData = stVarData();  // every field at its default, reserved bytes zero
  CreateDefaultFonts();
  CreateDefaultPageLayouts();
  const int nConfig = SaveConfigurationTable();
  const int nVar = SaveVarRecord();
  const int nFormats = SaveFormatRecordTable();
  const int nLayouts = SavePageLayoutTable();
  return nConfig && nVar && nFormats && nLayouts;
}

void CSettingsTables::WriteMissingSettings(const std::vector<bool>& baFormatSeen,
                                           const std::vector<bool>& baLayoutSeen) {
  const auto missing = [](const std::vector<bool>& ba) {
    for (bool b : ba)
      if (!b) return true;
    return false;
  };
  if (missing(baFormatSeen)) {
    GetResponse("Number of fonts has changed. Saving default fonts", MB_OK);
    for (uint32_t n = 0; n < baFormatSeen.size() && n < m_caFormats.size(); ++n) {
      if (baFormatSeen[n]) continue;
      const uint32_t nLoc = SaveFormatRecord(m_caFormats[n]);
      if (nLoc != DB_NONE) SetRefreshFlags(TABLE_FONT, n, nLoc);
    }
  }
  if (missing(baLayoutSeen)) {
    GetResponse("Number of page layouts has changed. Saving default layouts", MB_OK);
    for (uint32_t n = 0; n < baLayoutSeen.size() && n < m_caPageLayouts.size(); ++n) {
      if (baLayoutSeen[n]) continue;
      const uint32_t nLoc = SavePageLayoutRecord(m_caPageLayouts[n]);
      if (nLoc != DB_NONE) SetRefreshFlags(TABLE_PAGELAYOUT, n, nLoc);
    }
  }
}

// ---- data refresh ----

void CSettingsTables::DataRefreshOff(const std::string& sLabel) {
  RefreshState().SuspendRefresh();
  KTRACE("DataRefreshOff %s, count %i\n", sLabel.c_str(), RefreshState().SuspendDepth());
}

void CSettingsTables::DataRefreshOn(const std::string& sLabel) {
  const bool bOutermost = RefreshState().ResumeRefresh();
  KTRACE("DataRefreshOn %s, count %i\n", sLabel.c_str(), RefreshState().SuspendDepth());
  // While a database is being opened the refresh stays off whatever the count.
  if (!bOutermost || m_bOpening) return;
  RefreshState().AllowRefresh();
  if (RefreshState().HasNotices() && !RefreshState().IsInLockAndRefresh() && IsOpen())
    LockAndRefreshDatabase("refresh database", 0, true);
}
