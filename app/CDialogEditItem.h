#pragma once
// The generic item edit dialog: one labelled field per entry of the form, a
// single-line edit for short values and a multi-line one for long texts.
// Values are cut to the field's byte limit (at a character boundary) on OK.
// Date fields show a date and time field; OK is refused while one of them
// holds an impossible date.

#include <QDialog>
#include <vector>

#include "support/CUserInterface.h"

class CDateTime;
class QPushButton;
class QWidget;

class CDialogEditItem : public QDialog {
  Q_OBJECT

 public:
  CDialogEditItem(const stEditForm& form, QWidget* pParent);
  // Copies the edited values into the form.
  void TakeValues(stEditForm& form) const;
  QWidget* Editor(size_t nField) const { return m_paEditors[nField]; }

  // The longest prefix of s of at most nMaxBytes bytes that ends on a UTF-8
  // character boundary.
  static std::string CutToBytes(const std::string& s, int nMaxBytes);

 public slots:
  void accept() override;

 private:
  CDateTime* FirstInvalidDate() const;
  void UpdateOk();

  std::vector<QWidget*> m_paEditors;
  QPushButton* m_pOk = nullptr;
};
