#pragma once
// The four small settings tables every copy of a database shares: the
// configuration record (table 1), the parameters (table 2), the twelve
// formats used for printing and reports (table 3) and the four page layouts
// (table 4). This layer of the table manager keeps them in memory, reads and
// writes them, lets the user edit them, and recovers when the file holds the
// wrong set of them. It also owns the suspension of the data refresh that
// its dialogs (and every question) need.
//
// Records written by other copies are trusted only as far as they check out:
// a format is placed by its record key 0..11, a layout by its key 0..3 (other
// keys are ignored), and values that are zero, negative, NaN or out of range
// take that code's defaults in memory.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "data/CConFigTable.h"
#include "data/CFormatRecord.h"
#include "data/CPageLayout.h"
#include "data/CVarData.h"
#include "data/DataResults.h"
#include "engine/CDbEngine.h"
#include "support/CUserInterface.h"

// Names of the edit form fields of the Setup, format and page-layout dialogs.
namespace SetupField {
inline constexpr const char* kPopupEnable = "Pop up time: Enable";
inline constexpr const char* kPopupHour = "Pop up time: Hour";
inline constexpr const char* kPopupMinute = "Pop up time: Minute";
inline constexpr const char* kBackupPath = "Backup path";
inline constexpr const char* kNetworkDisable = "Disable file sharing on network";
inline constexpr const char* kEmailCheck = "Enable email checking";
}  // namespace SetupField

// The daily pop-up time kept with the installation settings: the same limits
// as the parameters.
inline constexpr stParamRange kPopupHourRange = {"Pop up time: Hour", nullptr, 0, 1, 23, 8};
inline constexpr stParamRange kPopupMinuteRange = {"Pop up time: Minute", nullptr, 0, 0, 59, 0};

class CSettingsTables : public CDbEngine {
 public:
  CSettingsTables();
  ~CSettingsTables() override;

  // ---- what the views, printing and reports read ----
  // The format of a code 0..11, none while the formats are cleared.
  const stFormatRecord* GetFormat(uint32_t nCode) const;
  const std::string& GetFormatName(uint32_t nCode) const;
  uint32_t FormatCount() const { return uint32_t(m_caFormats.size()); }
  // Format 1 ("RTF format reports"), kept for the report writer.
  const stFormatRecord* GetRtfFormat() const { return m_pRtfFormat; }
  const stPageLayout* GetPageLayout(uint32_t nCode) const;
  uint32_t PageLayoutCount() const { return uint32_t(m_caPageLayouts.size()); }
  const stVarData& GetVarData() const { return m_VarData; }

  // ---- configuration record ----
  int ReadConfigurationTable();
  int LoadConfigurationTableFromFile(const stDataHeader& header);
  int SaveConfigurationTable();

  // ---- parameters record ----
  int ReadVarRecord();
  int LoadVarRecordFromFile(const stDataHeader& header);
  int SaveVarRecord();
  // With bShowDialog opens the Setup dialog; without it saves the values in memory.
  eItemResult EditVarRecord(bool bShowDialog);

  // ---- formats ----
  void CreateDefaultFonts();
  void AddFormat(const std::string& sName, uint32_t nCode, const std::string& sFace, int bBold, int bCenter,
                 uint32_t nSize, const std::string& sTabStops);
  int ReadFormatRecordTable();
  int ReadFormatRecord(uint32_t nCode);
  int LoadFormatRecordFromFile(const stDataHeader& header);
  int SaveFormatRecordTable();
  // The record's location, 0xFFFFFFFF when it could not be written.
  uint32_t SaveFormatRecord(const stFormatRecord& format);
  int SaveModifiedFormatRecord(const stFormatRecord& format);
  // Done when the dialog's values were saved.
  eItemResult EditFormatRecord(uint32_t nCode, const std::string& sTitle, bool bTabsEditable);
  void ClearTableFormat();

  // ---- page layouts ----
  void CreateDefaultPageLayouts();
  int ReadPageLayoutTable();
  int ReadPageLayoutRecord(uint32_t nCode);
  int LoadPageLayoutRecordFromFile(const stDataHeader& header);
  int SavePageLayoutTable();
  uint32_t SavePageLayoutRecord(const stPageLayout& layout);
  eItemResult EditPageLayoutRecord(uint32_t nCode, const std::string& sTitle);
  void ClearTablePageLayout();

  // Writes the configuration, parameters, formats and page layouts of a new
  // file, every value at its default. 1 done, 0 a write failed.
  int WriteDefaultSettingsRecords();
  // Writes the formats (keys 0..11) and layouts (0..3) that no live record of
  // the file holds, with the message the user knows, and announces each. Only
  // what is missing is written; nothing is deleted.
  void WriteMissingSettings(const std::vector<bool>& baFormatSeen, const std::vector<bool>& baLayoutSeen);

  // ---- record I/O shared with the item tables ----
  // Encodes a record into the record buffer and writes it as (table, key).
  // When the record cannot be encoded (a field too long, a record too big)
  // nothing is written and the user is told why. Location or 0xFFFFFFFF.
  uint32_t WriteEncodedRecord(uint8_t nTable, uint32_t nKey,
                              const std::function<uint32_t(stRecordBuffer&)>& fnEncode);
  // Reads a record's payload into the record buffer and returns the view of
  // exactly its DataLen bytes; false when the header is implausible or the
  // read failed.
  bool ReadPayload(const stDataHeader& header, stRecordBuffer& out);
  // True when the header's DataLen and location can name a payload: one
  // longer than its block, or one past the last location, is a damaged
  // header whose read would take bytes of the next record.
  static bool IsPayloadPlausible(const stDataHeader& header);

  // ---- data refresh ----
  // Suspends the data refresh (nested); the outermost DataRefreshOn lifts it
  // and runs a refresh owed meanwhile.
  void DataRefreshOff(const std::string& sLabel);
  void DataRefreshOn(const std::string& sLabel);
  // Locks the database and brings memory up to date with other users'
  // changes. 1 locked (and unlocked again with bRefreshOnly), 0 refused.
  virtual int LockAndRefreshDatabase(const std::string& sReason, uint8_t nTable = 0,
                                     bool bRefreshOnly = false) = 0;

 protected:
  // Puts a format or layout read from the file into the slot of its record
  // key, brought into shape for that code (the layouts grow as needed);
  // false when the key is not one of the table's.
  bool PlaceFormat(stFormatRecord&& format, uint32_t nKey);
  bool PlaceLayout(stPageLayout&& layout, uint32_t nKey);
  // Reads the record of (table, key) into the buffer view; false when missing.
  bool ReadTableRecordView(uint8_t nTable, uint32_t nKey, stRecordBuffer& out);
  void FillSetupForm(stEditForm& form, const stVarData& v) const;
  void TakeSetupForm(const stEditForm& form, stVarData& v);
  // Saves the parameters and the configuration under the database lock and
  // unlocks it. False when a save or the flush failed: memory then holds
  // what the file holds.
  bool SaveParametersAfterLock(const stVarData& edited);
  // The same for one format record.
  bool SaveFormatAfterLock(const stFormatRecord& edited);

  CConFigTable m_ConFig;
  stVarData m_VarData;
  std::vector<stFormatRecord> m_caFormats;  // indexed by format code
  std::vector<std::string> m_saFormatNames;
  std::vector<stPageLayout> m_caPageLayouts;  // indexed by layout code
  const stFormatRecord* m_pRtfFormat = nullptr;
  bool m_bOpening = false;  // set while a database is being opened
};
