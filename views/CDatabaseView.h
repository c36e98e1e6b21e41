#pragma once
// The record dump view: the records of the database file exactly as they are
// stored, one line per record of the chain, where a record is freed or made
// live again by its status byte, every lock is cleared, the listing written
// to a text file, one header shown field by field, and the raw bytes of one
// header and its data block edited (the record dump dialog).
//
// It works below the table manager: its changes go straight into the file.
// So it changes the file only while this copy is alone on it (no other user
// on line, no other copy holding it open), under the database lock, and
// afterwards reloads the tables and announces the whole database as changed.
// It shows the open database, or another file the main frame opened for it
// only to look at, which the view owns until it is left.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/DbFormat.h"
#include "views/CScrollBase.h"

class CDbEngine;
class CRecordDumpEdit;

// The view's menu commands.
enum eDatabaseViewCommand : int {
  ID_DUMP_EXIT = 30020,
  ID_DUMP_DELETE = 30027,
  ID_DUMP_UNDELETE = 30021,
  ID_DUMP_UNLOCK_ALL = 30028,
  ID_DUMP_TO_FILE = 32842,
  ID_DUMP_SHOW = 32843,
  ID_DUMP_EDIT = 32844,
  ID_DUMP_HELP = 57670,
};

class CDatabaseView : public CScrollBase {
 public:
  // The record dump dialog on one record; true for OK. The Qt window sets
  // its dialog; without one the Edit command shows nothing.
  using RecordDialog = std::function<bool(CRecordDumpEdit&)>;

  explicit CDatabaseView(CTableManager* pDB = nullptr, CViewFrame* pFrame = nullptr);
  ~CDatabaseView() override;

  // Enters on the open database, or (pOther) on another file opened for the
  // view, which the view then owns and closes when it is left.
  void EnterView(std::unique_ptr<CDbEngine> pOther);
  void EnterView() override;
  void ExitView() override;
  void SetUpLines() override;
  stFmtString GetLine(int nIndex, char cHint, char& cStatus) override;
  bool HasData() const override;
  void EditLine() override { EditRecord(); }
  void AddCommands(CCommandTable& table) override;
  void DatabaseChanged() override;
  void SetRecordDialog(RecordDialog fnDialog) { m_fnDialog = std::move(fnDialog); }

  // ---- commands (true when the file was changed) ----
  bool DeleteRecord() { return SetStatus(STATUS_DELETED); }
  bool UndeleteRecord() { return SetStatus(STATUS_USED); }
  bool UnlockAll();
  // The record dump dialog on the highlighted record; OK writes it.
  bool EditRecord();
  void DumpToFile();
  void ShowHeader();
  void ShowHelp();

  // The engine whose file is shown; null when none.
  CDbEngine* Shown() const;
  bool ShowsOtherFile() const { return m_pOther != nullptr; }
  const std::vector<uint32_t>& Locations() const { return m_naLocations; }
  // The location of the highlighted line; 0xFFFFFFFF on an empty list.
  uint32_t HighlightedLocation() const;

 private:
  bool SetStatus(char cStatus);
  // Runs fnChange when this copy may change the file, then reloads the
  // tables, announces the whole database and rebuilds the lines. False when
  // refused or not done.
  bool ChangeFile(const std::function<bool(CDbEngine&)>& fnChange);
  // Says why the file cannot be changed now; true when it can.
  bool MayChangeFile(CDbEngine& engine);

  std::unique_ptr<CDbEngine> m_pOther;
  std::vector<uint32_t> m_naLocations;
  RecordDialog m_fnDialog;
};
