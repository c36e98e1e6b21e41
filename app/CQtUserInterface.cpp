#include "app/CQtUserInterface.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

#include "app/CDialogChoice.h"
#include "app/CDialogEditItem.h"
#include "app/CQtPrintSystem.h"
#include "app/CQtWaitBox.h"
#include "support/CDialogWaitBox.h"
#include "support/UserPrompts.h"

namespace {

struct stButtonSet {
  std::vector<std::pair<QMessageBox::StandardButton, int>> buttons;
  int nEscape;  // the answer of Esc and the close button when no default is given
};

stButtonSet ButtonSet(int nButtons) {
  using B = QMessageBox;
  switch (nButtons) {
    case MB_OKCANCEL: return {{{B::Ok, IDOK}, {B::Cancel, IDCANCEL}}, IDCANCEL};
    case MB_ABORTRETRYIGNORE:
      return {{{B::Abort, IDABORT}, {B::Retry, IDRETRY}, {B::Ignore, IDIGNORE}}, IDABORT};
    case MB_YESNOCANCEL: return {{{B::Yes, IDYES}, {B::No, IDNO}, {B::Cancel, IDCANCEL}}, IDCANCEL};
    case MB_YESNO: return {{{B::Yes, IDYES}, {B::No, IDNO}}, IDNO};
    case MB_RETRYCANCEL: return {{{B::Retry, IDRETRY}, {B::Cancel, IDCANCEL}}, IDCANCEL};
    default: return {{{B::Ok, IDOK}}, IDOK};
  }
}

}  // namespace

CQtUserInterface::CQtUserInterface() = default;

CQtUserInterface::~CQtUserInterface() = default;

void CQtUserInterface::AddWindow(QWidget* pWindow) { m_paWindows.emplace_back(pWindow); }

void CQtUserInterface::RemoveWindow(QWidget* pWindow) {
  m_paWindows.erase(
      std::remove_if(m_paWindows.begin(), m_paWindows.end(),
                     [pWindow](const QPointer<QWidget>& p) { return p.isNull() || p.data() == pWindow; }),
      m_paWindows.end());
}

QWidget* CQtUserInterface::DialogParent() const {
  if (!m_naBoxOrder.empty()) return WaitBox(m_naBoxOrder.back());
  if (QWidget* pModal = QApplication::activeModalWidget()) return pModal;
  for (auto it = m_paWindows.rbegin(); it != m_paWindows.rend(); ++it)
    if (!it->isNull() && (*it)->isVisible()) return it->data();
  return nullptr;
}

CQtWaitBox* CQtUserInterface::WaitBox(int nBox) const {
  const auto it = m_boxes.find(nBox);
  return it == m_boxes.end() ? nullptr : it->second.get();
}

int CQtUserInterface::MessageBox(const std::string& sText, const std::string& sCaption, int nButtons,
                                 int nDefault) {
  const stButtonSet set = ButtonSet(nButtons);
  // While the program ends every question gets its cancel (or no) answer.
  if (IsQuitRequested()) return set.nEscape;
  QMessageBox box(DialogParent());
  box.setObjectName("KelvoMessageBox");
  box.setWindowTitle(QString::fromStdString(sCaption));
  box.setText(QString::fromStdString(sText));
  box.setIcon(nButtons == MB_OK ? QMessageBox::Information : QMessageBox::Question);
  const int nEscape = nDefault ? nDefault : set.nEscape;
  for (const auto& [button, nAnswer] : set.buttons) {
    QPushButton* pButton = box.addButton(button);
    if (nAnswer == nDefault) box.setDefaultButton(pButton);
    if (nAnswer == nEscape) box.setEscapeButton(pButton);
  }
  box.exec();
  if (IsQuitRequested()) return set.nEscape;
  const auto clicked = box.standardButton(box.clickedButton());
  for (const auto& [button, nAnswer] : set.buttons)
    if (button == clicked) return nAnswer;
  return nEscape;
}

void CQtUserInterface::WaitBoxShow(int nBox, const stWaitBoxView& view) {
  QWidget* pOver = DialogParent();
  auto pBox = std::make_unique<CQtWaitBox>(
      view, [this] { m_bAbortPressed = true; }, pOver);
  pBox->show();
  pBox->raise();
  m_boxes[nBox] = std::move(pBox);
  m_naBoxOrder.push_back(nBox);
}

void CQtUserInterface::WaitBoxUpdate(int nBox, const stWaitBoxView& view) {
  if (CQtWaitBox* pBox = WaitBox(nBox)) pBox->Show(view);
}

void CQtUserInterface::WaitBoxClose(int nBox) {
  m_naBoxOrder.erase(std::remove(m_naBoxOrder.begin(), m_naBoxOrder.end(), nBox), m_naBoxOrder.end());
  m_boxes.erase(nBox);
  // A press meant for the closed box must not abort the next one.
  if (m_boxes.empty()) m_bAbortPressed = false;
}

bool CQtUserInterface::ProcessEvents() {
  // Throttled: long loops call this between every unit of work.
  if (!m_lastProcessing.isValid() || m_lastProcessing.elapsed() >= kProcessEventsMs) {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    m_lastProcessing.restart();
  }
  const bool bPressed = m_bAbortPressed || IsQuitRequested();
  m_bAbortPressed = false;
  return bPressed;
}

void CQtUserInterface::EnableWindows(bool bEnable) {
  // Wait boxes nest; the windows come back only when the outermost ends.
  // While disabled, the application-modal wait box keeps input from them.
  if (!bEnable) {
    ++m_nDisabledDepth;
    return;
  }
  if (m_nDisabledDepth > 0) --m_nDisabledDepth;
  if (m_nDisabledDepth == 0 && m_boxes.empty()) {
    if (QWidget* pTop = DialogParent()) {
      pTop->raise();
      pTop->activateWindow();
    }
  }
}

std::optional<std::vector<int>> CQtUserInterface::ChooseFromList(const std::string& sCaption,
                                                                 const std::vector<std::string>& items,
                                                                 bool bMultiple) {
  if (IsQuitRequested()) return std::nullopt;
  CDialogChoice dialog(sCaption, items, bMultiple, DialogParent());
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  std::vector<int> naChosen = dialog.Chosen();
  if (naChosen.empty()) return std::nullopt;
  return naChosen;
}

std::optional<CUserInterface::stButtonChoice> CQtUserInterface::ChooseWithButton(
    const std::string& sCaption, const std::vector<std::string>& items, const std::string& sButton) {
  if (IsQuitRequested()) return std::nullopt;
  CDialogChoice dialog(sCaption, items, false, DialogParent(), sButton);
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  const std::vector<int> naChosen = dialog.Chosen();
  if (naChosen.empty()) return std::nullopt;
  return stButtonChoice{naChosen.front(), dialog.ButtonPressed()};
}

std::optional<std::string> CQtUserInterface::AskLine(const std::string& sPrompt, const std::string& sDefault,
                                                     bool bSecret) {
  if (IsQuitRequested()) return std::nullopt;
  QInputDialog dialog(DialogParent());
  dialog.setObjectName("KelvoInput");
  dialog.setWindowTitle("Kelvo");
  dialog.setLabelText(QString::fromStdString(sPrompt));
  dialog.setInputMode(QInputDialog::TextInput);
  dialog.setTextValue(QString::fromStdString(sDefault));
  if (bSecret) dialog.setTextEchoMode(QLineEdit::Password);
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  return dialog.textValue().toStdString();
}

std::optional<std::string> CQtUserInterface::InputText(const std::string& sPrompt,
                                                       const std::string& sDefault) {
  return AskLine(sPrompt, sDefault, false);
}

std::optional<std::string> CQtUserInterface::InputSecret(const std::string& sPrompt) {
  return AskLine(sPrompt, "", true);
}

std::optional<std::string> CQtUserInterface::ChooseFolder(const std::string& sCaption,
                                                          const std::string& sDefault) {
  if (IsQuitRequested()) return std::nullopt;
  const QString sFolder =
      QFileDialog::getExistingDirectory(DialogParent(), QString::fromStdString(sCaption),
                                        QString::fromStdString(sDefault), QFileDialog::DontUseNativeDialog);
  if (sFolder.isEmpty()) return std::nullopt;
  return sFolder.toStdString();
}

std::optional<std::string> CQtUserInterface::ChooseFile(bool bSave, const std::string& sCaption,
                                                        const std::string& sFilter,
                                                        const std::string& sDefault) {
  if (IsQuitRequested()) return std::nullopt;
  QFileDialog dialog(DialogParent(), QString::fromStdString(sCaption), QString::fromStdString(sDefault),
                     QString::fromStdString(sFilter));
  dialog.setObjectName("KelvoFileDialog");
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  dialog.setAcceptMode(bSave ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  dialog.setFileMode(bSave ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  return dialog.selectedFiles().front().toStdString();
}

int CQtUserInterface::EditItem(stEditForm& form) {
  if (IsQuitRequested()) return IDCANCEL;
  // The printer set-up is the system's print dialog.
  if (form.sDialog == "Print setup") return CQtPrintSystem::Install().EditPrintSetup(form, DialogParent());
  CDialogEditItem dialog(form, DialogParent());
  // The mail list layout says which paper it will print on; that is the
  // printer's choice, shown and not edited here.
  if (form.sDialog == "Mail list layout")
    for (size_t i = 0; i < form.fields.size(); ++i)
      if (auto* pLine = qobject_cast<QLineEdit*>(dialog.Editor(i)); pLine && form.fields[i].sName == "Paper")
        pLine->setReadOnly(true);
  if (dialog.exec() != QDialog::Accepted) return IDCANCEL;
  dialog.TakeValues(form);
  return IDOK;
}

std::optional<std::string> CQtUserInterface::TextWindow(const std::string& sCaption, const std::string& sText,
                                                        bool bEditable) {
  if (IsQuitRequested()) return std::nullopt;
  QDialog dialog(DialogParent());
  dialog.setObjectName(bEditable ? "KelvoEditText" : "KelvoShowText");
  dialog.setWindowTitle(QString::fromStdString(sCaption));
  auto* pLayout = new QVBoxLayout(&dialog);
  auto* pEdit = new QPlainTextEdit(QString::fromStdString(sText), &dialog);
  pEdit->setReadOnly(!bEditable);
  pEdit->setMinimumSize(420, 240);
  pLayout->addWidget(pEdit);
  auto* pButtons = new QDialogButtonBox(
      bEditable ? QDialogButtonBox::Ok | QDialogButtonBox::Cancel : QDialogButtonBox::Ok, &dialog);
  QObject::connect(pButtons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
  QObject::connect(pButtons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
  pLayout->addWidget(pButtons);
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  return pEdit->toPlainText().toStdString();
}

void CQtUserInterface::ShowText(const std::string& sCaption, const std::string& sText) {
  TextWindow(sCaption, sText, false);
}

std::optional<std::string> CQtUserInterface::EditText(const std::string& sCaption, const std::string& sText) {
  return TextWindow(sCaption, sText, true);
}
