#pragma once
// The to-do notes dialog: four multi-line fields kept in the notes string of
// the installation settings. Cancelling after a change asks first.

#include <QDialog>
#include <array>
#include <string>

class QPlainTextEdit;

class CDialogNotes : public QDialog {
  Q_OBJECT

 public:
  CDialogNotes(const std::string& sNotesString, QWidget* pParent);
  // The notes string of the edited fields.
  std::string NotesString() const;
  QPlainTextEdit* Field(int n) const { return m_paFields[size_t(n)]; }
  void reject() override;

 private:
  std::array<QPlainTextEdit*, 4> m_paFields{};
  std::string m_sOriginal;
};
