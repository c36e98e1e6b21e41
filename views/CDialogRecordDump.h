#pragma once
// The "Record dump" dialog: the 36 header bytes and the bytes of the data
// block of one record, each byte editable, written back on OK. The bytes and
// their editing are the record copy's (CRecordDumpEdit); the dialog shows the
// two lists and hands it the selected entries. Enter moves to the next
// control instead of closing the dialog.

#include <QDialog>

class CRecordDumpEdit;
class QListWidget;

class CDialogRecordDump : public QDialog {
  Q_OBJECT

 public:
  CDialogRecordDump(CRecordDumpEdit& record, QWidget* pParent);

  QListWidget* HeaderList() const { return m_pHeader; }
  QListWidget* DataList() const { return m_pData; }
  // Edit (header) and Edit (data) on the selected entry.
  void EditHeader();
  void EditData();

 protected:
  void keyPressEvent(QKeyEvent* pEvent) override;

 private:
  void FillLists();

  CRecordDumpEdit& m_record;
  QListWidget* m_pHeader;
  QListWidget* m_pData;
};
