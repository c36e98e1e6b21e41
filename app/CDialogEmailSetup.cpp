#include "app/CDialogEmailSetup.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>
#include <algorithm>

#include "comms/MailAccount.h"
#include "support/CUserInterface.h"
#include "support/StringUtil.h"

namespace {

constexpr int kMaxIntervalMinutes = 24 * 60;

// The list line of an account: never its password.
QString AccountLine(const std::string& sAccount) {
  stMailAccount account;
  if (!ParseMailAccount(sAccount, account)) return "(unusable account)";
  return QString::fromStdString(StrFormat("%s\t%s", account.sServer.c_str(), account.sUser.c_str()));
}

}  // namespace

CDialogEmailSetup::CDialogEmailSetup(int nInterval, std::vector<std::string> saAccounts, QWidget* pParent)
    : QDialog(pParent), m_saAccounts(std::move(saAccounts)) {
  setObjectName("KelvoEmailSetup");
  setWindowTitle("Servers on which to check email");
  auto* pLayout = new QVBoxLayout(this);
  auto* pForm = new QFormLayout;
  m_pInterval = new QSpinBox(this);
  m_pInterval->setRange(0, kMaxIntervalMinutes);
  m_pInterval->setValue(std::clamp(nInterval, 0, kMaxIntervalMinutes));
  pForm->addRow("Check interval, minutes (0 = none)", m_pInterval);
  pLayout->addLayout(pForm);
  m_pList = new QListWidget(this);
  m_pList->setMinimumSize(320, 120);
  pLayout->addWidget(m_pList, 1);
  auto* pRow = new QHBoxLayout;
  const auto addButton = [&](const char* pText, void (CDialogEmailSetup::*pSlot)()) {
    auto* pButton = new QPushButton(pText, this);
    pButton->setAutoDefault(false);
    connect(pButton, &QPushButton::clicked, this, pSlot);
    pRow->addWidget(pButton);
  };
  addButton("Add", &CDialogEmailSetup::OnAdd);
  addButton("Edit", &CDialogEmailSetup::OnEdit);
  addButton("Delete", &CDialogEmailSetup::OnDelete);
  pLayout->addLayout(pRow);
  connect(m_pList, &QListWidget::itemDoubleClicked, this, &CDialogEmailSetup::OnEdit);
  auto* pButtons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(pButtons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(pButtons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  pLayout->addWidget(pButtons);
  Reload();
}

int CDialogEmailSetup::Interval() const { return m_pInterval->value(); }

void CDialogEmailSetup::OnAdd() {
  const std::string s = EditAccount("", this);
  if (s.empty()) return;
  m_saAccounts.push_back(s);
  Reload();
  m_pList->setCurrentRow(int(m_saAccounts.size()) - 1);
}

void CDialogEmailSetup::OnEdit() {
  const int n = m_pList->currentRow();
  if (n < 0 || n >= int(m_saAccounts.size())) return;
  const std::string s = EditAccount(m_saAccounts[size_t(n)], this);
  if (s.empty()) return;
  m_saAccounts[size_t(n)] = s;
  Reload();
  m_pList->setCurrentRow(n);
}

void CDialogEmailSetup::OnDelete() {
  const int n = m_pList->currentRow();
  if (n < 0 || n >= int(m_saAccounts.size())) return;
  m_saAccounts.erase(m_saAccounts.begin() + n);
  Reload();
}

void CDialogEmailSetup::Reload() {
  m_pList->clear();
  for (const std::string& s : m_saAccounts) m_pList->addItem(AccountLine(s));
}

std::string CDialogEmailSetup::EditAccount(const std::string& sAccount, QWidget* pParent) {
  stMailAccount account;
  ParseMailAccount(sAccount, account);
  QDialog dialog(pParent);
  dialog.setObjectName("KelvoEmailAccount");
  dialog.setWindowTitle("Email check");
  auto* pLayout = new QVBoxLayout(&dialog);
  auto* pForm = new QFormLayout;
  auto* pServer = new QLineEdit(QString::fromStdString(account.sServer), &dialog);
  auto* pUser = new QLineEdit(QString::fromStdString(account.sUser), &dialog);
  auto* pPassword = new QLineEdit(QString::fromStdString(account.sPassword), &dialog);
  pPassword->setEchoMode(QLineEdit::Password);
  auto* pKeys = new QPlainTextEdit(QString::fromStdString(TextFromKeys(account.saKeys)), &dialog);
  pServer->setObjectName("Server");
  pUser->setObjectName("UserID");
  pPassword->setObjectName("Password");
  pKeys->setObjectName("Keys");
  pForm->addRow("Server", pServer);
  pForm->addRow("UserID", pUser);
  pForm->addRow("Password", pPassword);
  pForm->addRow("Alert address keys", pKeys);
  pLayout->addLayout(pForm);
  auto* pButtons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
  QObject::connect(pButtons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
  // The fields are checked before the dialog closes: a refused one stays
  // for the user to mend.
  QObject::connect(pButtons, &QDialogButtonBox::accepted, &dialog, [&] {
    const std::string sRefusal =
        CheckMailAccountFields(pServer->text().toStdString(), pUser->text().toStdString(),
                               pPassword->text().toStdString(), pKeys->toPlainText().toStdString());
    if (sRefusal.empty())
      dialog.accept();
    else
      ShowMessage(sRefusal);
  });
  pLayout->addWidget(pButtons);
  if (dialog.exec() != QDialog::Accepted) return "";
  account.sServer = pServer->text().toStdString();
  account.sUser = pUser->text().toStdString();
  account.sPassword = pPassword->text().toStdString();
  account.saKeys = KeysFromText(pKeys->toPlainText().toStdString());
  return FormatMailAccount(account);
}
