#include "app/CDialogEmailCheck.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTextBrowser>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "app/CDialogEmailSetup.h"
#include "comms/MailView.h"
#include "support/CConfigFile.h"
#include "support/UserPrompts.h"

namespace {

// A browser for mail: nothing it shows can load anything (no images, style
// sheets or other documents, local or remote) and links are not followed.
class CMailBrowser : public QTextBrowser {
 public:
  explicit CMailBrowser(QWidget* pParent) : QTextBrowser(pParent) {
    setOpenLinks(false);
    setOpenExternalLinks(false);
  }
  QVariant loadResource(int /*nType*/, const QUrl& /*name*/) override { return {}; }
};

}  // namespace

CDialogEmailCheck::CDialogEmailCheck(std::function<void(const std::string&)> fnMainTitle, QWidget* pParent,
                                     stMailCheckOptions options)
    : QDialog(pParent), m_fnMainTitle(std::move(fnMainTitle)), m_check(*this, std::move(options)) {
  setObjectName("KelvoEmailCheck");
  setModal(false);
  setWindowTitle(QString::fromStdString(m_check.Title()));
  auto* pLayout = new QVBoxLayout(this);
  m_pList = new QTreeWidget(this);
  m_pList->setColumnCount(4);
  m_pList->setHeaderLabels({"UserID", "From", "Subject", "Date"});
  m_pList->setRootIsDecorated(false);
  m_pList->setSelectionMode(QAbstractItemView::SingleSelection);
  m_pList->setMinimumSize(520, 160);
  connect(m_pList, &QTreeWidget::itemDoubleClicked, this, [this] { OnViewNormal(); });
  pLayout->addWidget(m_pList, 1);
  pLayout->addWidget(new QLabel("Double click on email to view it or click view button", this));
  auto* pRow = new QHBoxLayout;
  const auto addButton = [&](const char* pText, auto fn) {
    auto* pButton = new QPushButton(pText, this);
    pButton->setAutoDefault(false);
    connect(pButton, &QPushButton::clicked, this, fn);
    pRow->addWidget(pButton);
  };
  addButton("Minimize", [this] { showMinimized(); });
  addButton("Check for new emails", [this] { DoCheck(true); });
  addButton("Setup", [this] { OnSetup(); });
  addButton("View raw text", [this] { OnRawText(); });
  addButton("View HTML", [this] { OnViewHtml(); });
  addButton("View normal", [this] { OnViewNormal(); });
  pLayout->addLayout(pRow);
  ResetTimer();
}

CDialogEmailCheck::~CDialogEmailCheck() = default;

void CDialogEmailCheck::DoCheck(bool bAskedByUser) {
  m_check.RequestCheck(AppSettings().saEmailAccounts, bAskedByUser);
}

void CDialogEmailCheck::OnTick() {
  m_check.RunPending();
  const int nMs = CEmailCheck::TimerIntervalMs(AppSettings().nEmailCheckInterval);
  if (nMs <= 0 || m_interval.elapsed() < nMs) return;
  m_interval.restart();
  DoCheck(false);
}

void CDialogEmailCheck::ResetTimer() { m_interval.start(); }

bool CDialogEmailCheck::StopForClose() {
  m_check.Stop();
  return !m_check.IsBusy();
}

void CDialogEmailCheck::PostToUi(std::function<void()> fn) {
  QMetaObject::invokeMethod(this, std::move(fn), Qt::QueuedConnection);
}

void CDialogEmailCheck::SetCheckTitle(const std::string& sTitle) {
  setWindowTitle(QString::fromStdString(sTitle));
}

void CDialogEmailCheck::ListChanged() {
  m_pList->clear();
  for (const stMailItem& item : m_check.Items()) {
    auto* pItem = new QTreeWidgetItem(m_pList);
    pItem->setText(0, QString::fromStdString(item.sUser));
    pItem->setText(1, QString::fromStdString(item.sFrom));
    pItem->setText(2, QString::fromStdString(item.sSubject));
    pItem->setText(3, QString::fromStdString(item.sDate));
  }
}

void CDialogEmailCheck::SetMainTitle(const std::string& sTitle) {
  if (m_fnMainTitle) m_fnMainTitle(sTitle);
}

const stMailItem* CDialogEmailCheck::Selected() const {
  const QTreeWidgetItem* pItem = m_pList->currentItem();
  const int n = pItem ? m_pList->indexOfTopLevelItem(const_cast<QTreeWidgetItem*>(pItem)) : -1;
  const auto& items = m_check.Items();
  return n >= 0 && n < int(items.size()) ? &items[size_t(n)] : nullptr;
}

void CDialogEmailCheck::OnViewNormal() {
  if (const stMailItem* p = Selected()) ShowView(MailViewNormal(p->sMessage));
}

void CDialogEmailCheck::OnRawText() {
  if (const stMailItem* p = Selected()) ShowView(MailViewRaw(p->sMessage));
}

void CDialogEmailCheck::OnViewHtml() {
  if (const stMailItem* p = Selected()) ShowView(MailViewHtml(p->sMessage));
}

void CDialogEmailCheck::ShowView(const stMailView& view) {
  // No check starts while the viewer is open; one asked for meanwhile (or
  // one that ended meanwhile) is taken up when it closes.
  m_check.SetViewerOpen(true);
  QDialog viewer(this);
  viewer.setObjectName("KelvoEmailBody");
  viewer.setWindowTitle(QString::fromStdString(view.sTitle));
  auto* pLayout = new QVBoxLayout(&viewer);
  auto* pBrowser = new CMailBrowser(&viewer);
  if (view.bHtml) {
    WriteTempHtml(view.sText);
    pBrowser->setHtml(QString::fromStdString(view.sText));
  } else {
    pBrowser->setPlainText(QString::fromStdString(view.sText));
  }
  pLayout->addWidget(pBrowser);
  auto* pClose = new QPushButton("Close", &viewer);
  connect(pClose, &QPushButton::clicked, &viewer, &QDialog::accept);
  pLayout->addWidget(pClose);
  viewer.resize(640, 480);
  viewer.exec();
  m_check.SetViewerOpen(false);
  m_check.RunPending();
}

void CDialogEmailCheck::OnSetup() {
  stAppSettings& settings = AppSettings();
  CDialogEmailSetup dialog(settings.nEmailCheckInterval, settings.saEmailAccounts, this);
  {
    CBusyScope busy;
    if (dialog.exec() != QDialog::Accepted) return;
  }
  settings.saEmailAccounts = dialog.Accounts();
  if (dialog.Interval() != settings.nEmailCheckInterval) {
    settings.nEmailCheckInterval = dialog.Interval();
    ResetTimer();
  }
}
