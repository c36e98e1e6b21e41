// Editing the parameters, formats and page layouts through the edit dialogs,
// and saving items whose text does not fit a record.

#include <gtest/gtest.h>

#include <cstdlib>

#include "DbTestFiles.h"
#include "RawPayload.h"
#include "common/TestCommon.h"
#include "data/CDatabase.h"
#include "support/CConfigFile.h"

namespace {

struct stHostAddress {
  stHostAddress() { setenv("KELVO_HOSTADDRESS", "127.0.0.5", 1); }
} g_hostAddress;

// Keeps the forms the dialogs were opened with and whether the data refresh
// was suspended while each was on screen.
class CFormUi : public CTestUi {
 public:
  const CDatabase* m_pDb = nullptr;
  std::vector<stEditForm> m_forms;
  std::vector<bool> m_baRefreshOff;
  int EditItem(stEditForm& form) override {
    m_forms.push_back(form);
    m_baRefreshOff.push_back(m_pDb && m_pDb->RefreshState().IsRefreshSuspended());
    return CTestUi::EditItem(form);
  }
  const stEditField* Field(const std::string& sName) const {
    for (const auto& f : m_forms.back().fields)
      if (f.sName == sName) return &f;
    return nullptr;
  }
};

}  // namespace

TEST(SettingsEdit, SetupDialogUsesTheReadLimitsAndSavesForEveryCopy) {
  CScratchFolder dir;
  const std::string sName = dir.File("db");
  CFormUi ui;
  CDatabase db;
  ui.m_pDb = &db;
  ASSERT_EQ(db.OpenDatabase(sName, 0), 1);
  AppSettings().bPopup = false;
  AppSettings().dLastPopup = 45000.5;
  AppSettings().nNetworkDisable = 0;
  ui.QueueEdit({{"Start hour", "0"},
                {"Minute", "30"},
                {"Alarm window, min.", "45"},
                {"Number of time increments", "120"},
                {"Pop up time: Enable", "1"},
                {"Pop up time: Hour", "24"},
                {"Disable file sharing on network", "1"}});
  EXPECT_EQ(db.EditVarRecord(1), eItemResult::Done);
  ASSERT_EQ(ui.m_forms.size(), 1u);
  EXPECT_EQ(ui.m_forms[0].sDialog, "Setup");
  EXPECT_TRUE(ui.m_baRefreshOff[0]);
  EXPECT_FALSE(db.RefreshState().IsRefreshSuspended());
  // Every spin range is the range the read applies.
  for (const auto& r : CVarData::Ranges()) {
    const stEditField* f = ui.Field(r.m_pLabel);
    ASSERT_NE(f, nullptr) << r.m_pLabel;
    EXPECT_EQ(f->nMin, r.m_nMin) << r.m_pLabel;
    EXPECT_EQ(f->nMax, r.m_nMax) << r.m_pLabel;
  }
  EXPECT_EQ(ui.Field("Pop up time: Hour")->nMin, 1);
  EXPECT_TRUE(ui.SawText(
      "Change in disable network flag will not take effect until Kelvo is closed and restarted."));
  const stVarData& v = db.GetVarData();
  EXPECT_EQ(v.m_nStartHour, 8);  // 0 is out of range: the default, as every read gives
  EXPECT_EQ(v.m_nStartMinute, 30);
  EXPECT_EQ(v.m_nAlarmWindow, 45);
  EXPECT_EQ(v.m_nTimeIncrements, 14);
  EXPECT_TRUE(AppSettings().bPopup);
  EXPECT_EQ(AppSettings().dLastPopup, 0.0);  // ticking Enable clears the last pop-up
  EXPECT_EQ(AppSettings().nPopupHour, 8);
  EXPECT_EQ(AppSettings().nNetworkDisable, 1);
  AppSettings().nNetworkDisable = 0;
  const stVarData saved = v;
  db.CloseDatabase();

  CDatabase other;
  ASSERT_EQ(other.OpenDatabase(sName, 0), 1);
  EXPECT_EQ(other.GetVarData(), saved);

  // Cancel changes nothing.
  ui.m_pDb = &other;
  ui.QueueEdit({{"Minute", "59"}}, false);
  EXPECT_EQ(other.EditVarRecord(1), eItemResult::Cancelled);
  EXPECT_EQ(other.GetVarData().m_nStartMinute, 30);
}

TEST(SettingsEdit, FormatDialogEditsACopyAndSavesTheRecord) {
  CScratchFolder dir;
  const std::string sName = dir.File("db");
  CFormUi ui;
  CDatabase db;
  ui.m_pDb = &db;
  ASSERT_EQ(db.OpenDatabase(sName, 0), 1);
  ui.QueueEdit({{"Size", "12"}, {"Bold", "1"}, {"Face", "Liberation Serif"}, {"Tab stops", "1.5, 3"}});
  EXPECT_EQ(db.EditFormatRecord(4, db.GetFormatName(4), 1), eItemResult::Done);
  EXPECT_EQ(ui.m_forms.back().sTitle, "Format Person list");
  EXPECT_TRUE(ui.m_baRefreshOff.back());
  EXPECT_EQ(ui.Field("Tab stops")->sValue, "4.75,6");
  const stFormatRecord* f = db.GetFormat(4);
  EXPECT_EQ(f->m_nSize, 120u);
  EXPECT_EQ(f->m_bBold, 1);
  EXPECT_EQ(f->m_sFaceName, "Liberation Serif");
  EXPECT_EQ(f->m_daTabStops, (std::vector<double>{1.5, 3.0}));
  // Without editable tab stops the form has none; an untouched size keeps its tenths.
  ui.QueueEdit({{"Italics", "1"}});
  EXPECT_EQ(db.EditFormatRecord(3, "Default report header", 0), eItemResult::Done);
  EXPECT_EQ(ui.Field("Tab stops"), nullptr);
  ui.QueueEdit({}, false);
  EXPECT_EQ(db.EditFormatRecord(5, "Mailing list", 1), eItemResult::Cancelled);
  EXPECT_EQ(db.EditFormatRecord(12, "none", 1), eItemResult::Cancelled);
  const stFormatRecord edited = *f;
  db.CloseDatabase();

  CDatabase other;
  ASSERT_EQ(other.OpenDatabase(sName, 0), 1);
  EXPECT_EQ(*other.GetFormat(4), edited);
  EXPECT_EQ(other.GetFormat(3)->m_bItalics, 1);
  EXPECT_EQ(CountLive(sName + ".dbm", TABLE_FONT), 12);
}

TEST(SettingsEdit, PageLayoutDialogSavesMarginsAndFont) {
  CScratchFolder dir;
  const std::string sName = dir.File("db");
  CFormUi ui;
  CDatabase db;
  ui.m_pDb = &db;
  ASSERT_EQ(db.OpenDatabase(sName, 0), 1);
  ui.QueueEdit({{"Top margin", "1.25"}, {"Left margin", "-4"}, {"Size", "12"}, {"Landscape", "1"}});
  EXPECT_EQ(db.EditPageLayoutRecord(1, "Page layout"), eItemResult::Done);
  const stPageLayout* l = db.GetPageLayout(1);
  EXPECT_EQ(l->m_fTopMargin, 1.25f);
  EXPECT_EQ(l->m_fLeftMargin, 0.5f);  // a negative margin is not taken
  EXPECT_EQ(l->m_stPageFont.m_nSize, 120u);
  EXPECT_EQ(l->m_nLandscape, 1u);
  EXPECT_EQ(db.EditPageLayoutRecord(4, "none"), eItemResult::Cancelled);
  const stPageLayout edited = *l;
  db.CloseDatabase();
  CDatabase other;
  ASSERT_EQ(other.OpenDatabase(sName, 0), 1);
  EXPECT_EQ(*other.GetPageLayout(1), edited);
}

TEST(SettingsEdit, LongStringsAreNeverStoredEmpty) {
  CScratchFolder dir;
  const std::string sName = dir.File("db");
  const std::string sPath = sName + ".dbm";
  {
    CTestUi ui;
    CDatabase db;
    ASSERT_EQ(db.OpenDatabase(sName, 0), 1);
    CPerson p;
    p.m_nCode = 1;
    p.m_sLastName = "Long";
    p.m_saComments = {std::string(4095, 'a')};
    const auto write = [&] {
      return db.WriteEncodedRecord(TABLE_PERSON, 1, [&](stRecordBuffer& b) {
        return CDatabase::EncodeItem(TABLE_PERSON, p, b);
      });
    };
    EXPECT_NE(write(), DB_NONE);
    const size_t nRecords = ChainOf(sPath).size();
    const auto before = FileBytes(sPath);
    p.m_saComments = {std::string(4096, 'b')};
    EXPECT_EQ(write(), DB_NONE);
    EXPECT_EQ(ui.Messages().size(), 1u);
    EXPECT_NE(ui.Messages()[0].find("in field \"comments\""), std::string::npos) << ui.Messages()[0];
    EXPECT_EQ(p.m_saComments[0].size(), 4096u);  // memory keeps the text
    EXPECT_EQ(FileBytes(sPath), before);        // and the file is as it was
    EXPECT_EQ(ChainOf(sPath).size(), nRecords);
    db.CloseDatabase();
  }
  // A 5000-byte string written by another program loads whole, and a save
  // without the user (as an alarm update would make) refuses to cut it.
  {
    CRawWriter w(sPath);
    CRawPayload s;
    s.U32(0).U8(4).U32(7).Str(std::string(5000, 'x')).U8('O').F64(45000.0).U32(0).F64(0.0);
    s.U32(1).U32(5).U32(1).F64(0.0).U32(DB_NONE).U32(1).U32Array({});
    EXPECT_NE(w.Write(TABLE_SCHEDULE, 7, s.Bytes()), DB_NONE);
  }
  CTestUi ui;
  CDatabase db;
  ASSERT_EQ(db.OpenDatabase(sName, 0), 1);
  auto* pItem = static_cast<CScheduleRecord*>(db.GetPointer(TABLE_SCHEDULE, 7));
  ASSERT_NE(pItem, nullptr);
  EXPECT_EQ(pItem->m_sDescription.size(), 5000u);
  pItem->m_dAlarmDone = 45001.0;
  EXPECT_EQ(db.WriteEncodedRecord(TABLE_SCHEDULE, 7,
                                  [&](stRecordBuffer& b) {
                                    return CDatabase::EncodeItem(TABLE_SCHEDULE, *pItem, b);
                                  }),
            DB_NONE);
  EXPECT_NE(ui.Messages().back().find("String too big, length 5001, in field \"description\""),
            std::string::npos);
  for (const auto& h : ChainOf(sPath))
    if (h.nTable == TABLE_SCHEDULE && IsLiveStatus(h.cStatus)) {
      const auto bytes = PayloadAt(sPath, h);
      EXPECT_EQ(GetUint32(bytes.data() + 9), 5001u);
    }
}

TEST(SettingsEdit, ItemsFromANewerProgramLoadAndAreNotRewritten) {
  CScratchFolder dir;
  const std::string sName = dir.File("db");
  const std::string sPath = sName + ".dbm";
  {
    CTestUi ui;
    CDatabase db;
    ASSERT_EQ(db.OpenDatabase(sName, 0), 1);
  }
  {
    CRawWriter w(sPath);
    CRawPayload s;
    s.U32(0).U8(6).U32(3).Str("Future").U8('O').F64(45000.0).U32(0).F64(0.0);
    s.U32(1).U32(5).U32(1).F64(0.0).U32(DB_NONE).U32(1).U32Array({2}).U32(77).Str("new field");
    EXPECT_NE(w.Write(TABLE_SCHEDULE, 3, s.Bytes()), DB_NONE);
  }
  CTestUi ui;
  CDatabase db;
  ASSERT_EQ(db.OpenDatabase(sName, 0), 1);
  auto* pItem = static_cast<CScheduleRecord*>(db.GetPointer(TABLE_SCHEDULE, 3));
  ASSERT_NE(pItem, nullptr);
  EXPECT_TRUE(pItem->IsFromNewerVersion());
  EXPECT_EQ(pItem->m_naCategories, (std::vector<uint32_t>{2}));
  const auto before = FileBytes(sPath);
  EXPECT_EQ(db.WriteEncodedRecord(TABLE_SCHEDULE, 3,
                                  [&](stRecordBuffer& b) {
                                    return CDatabase::EncodeItem(TABLE_SCHEDULE, *pItem, b);
                                  }),
            DB_NONE);
  EXPECT_NE(ui.Messages().back().find("newer version of Kelvo"), std::string::npos);
  EXPECT_EQ(FileBytes(sPath), before);
}
