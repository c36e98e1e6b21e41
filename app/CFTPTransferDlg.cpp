#include "app/CFTPTransferDlg.h"

#include <QFormLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include "support/CUserInterface.h"

namespace {
QLabel* ValueLabel(QWidget* pParent, const char* pName) {
  auto* p = new QLabel(pParent);
  p->setObjectName(pName);
  p->setMinimumWidth(320);
  return p;
}
}  // namespace

CFTPTransferDlg::CFTPTransferDlg(const stFtpRequest& request, QWidget* pParent)
    : QDialog(pParent),
      m_transfer(request, this),
      m_bModeless(request.bModeless),
      m_pStatus(ValueLabel(this, "Status")),
      m_pPercentage(ValueLabel(this, "FileStatus")),
      m_pProgress(new QProgressBar(this)),
      m_pTimeLeft(ValueLabel(this, "TimeLeft")),
      m_pRate(ValueLabel(this, "TransferRate")),
      m_pCancel(new QPushButton(tr("Cancel"), this)) {
  setObjectName("KelvoFtpTransfer");
  setWindowTitle(request.bDownload ? "File Download" : "File Upload");
  m_pProgress->setRange(0, 100);
  m_pProgress->setValue(0);
  auto* pLayout = new QVBoxLayout(this);
  pLayout->addWidget(new QLabel(tr("Upload status"), this));
  pLayout->addWidget(m_pStatus);
  pLayout->addWidget(new QLabel(tr("File status"), this));
  pLayout->addWidget(m_pPercentage);
  pLayout->addWidget(m_pProgress);
  auto* pForm = new QFormLayout;
  pForm->addRow(tr("Estimated time left:"), m_pTimeLeft);
  pForm->addRow(tr("Transfer rate:"), m_pRate);
  pLayout->addLayout(pForm);
  pLayout->addWidget(m_pCancel, 0, Qt::AlignRight);
  connect(m_pCancel, &QPushButton::clicked, this, &CFTPTransferDlg::OnCancel);
  SetStatus(QString::fromStdString(m_transfer.StartText()));
}

CFTPTransferDlg::~CFTPTransferDlg() { StopTransfer(); }

bool CFTPTransferDlg::OnInitDialog() {
  if (!m_transfer.Start()) {
    m_bDeclined = m_transfer.GetError().empty();
    if (!m_bDeclined) ShowMessage(m_transfer.GetError());
    m_bFinished = true;
    return false;
  }
  m_thread = std::thread(&CFTPTransferDlg::TransferThread, this);
  return true;
}

void CFTPTransferDlg::TransferThread() {
  const int nOk = m_transfer.Transfer();
  m_nThreadResult = nOk;
  QMetaObject::invokeMethod(
      this, [this, nOk] { OnThreadFinished(nOk); }, Qt::QueuedConnection);
}

void CFTPTransferDlg::OnStatus(const std::string& sText) {
  QMetaObject::invokeMethod(
      this, [this, s = QString::fromStdString(sText)] { SetStatus(s); }, Qt::QueuedConnection);
}

void CFTPTransferDlg::OnProgress(const stFtpProgress& progress) {
  QMetaObject::invokeMethod(
      this, [this, texts = FormatFtpProgress(progress)] { SetProgress(texts); }, Qt::QueuedConnection);
}

void CFTPTransferDlg::SetStatus(const QString& sText) { m_pStatus->setText(sText); }

void CFTPTransferDlg::SetProgress(const stFtpProgressTexts& texts) {
  // An unknown size shows a busy bar rather than a percentage.
  if (texts.nPercent < 0) {
    m_pProgress->setRange(0, 0);
  } else {
    m_pProgress->setRange(0, 100);
    m_pProgress->setValue(texts.nPercent);
  }
  m_pPercentage->setText(QString::fromStdString(texts.sPercentage));
  m_pTimeLeft->setText(QString::fromStdString(texts.sTimeLeft));
  m_pRate->setText(QString::fromStdString(texts.sRate));
}

void CFTPTransferDlg::StopTransfer() {
  m_bAbort = true;
  if (m_thread.joinable()) m_thread.join();
}

void CFTPTransferDlg::OnCancel() {
  if (!m_bFinished) {
    SetStatus("Aborting transfer");
    StopTransfer();
  }
  // The last block may have gone before the abort was seen.
  Finish(m_nThreadResult);
}

void CFTPTransferDlg::OnThreadFinished(int nOk) {
  if (m_bFinished) return;
  StopTransfer();
  if (!nOk && !m_transfer.GetError().empty()) ShowMessage(m_transfer.GetError());
  Finish(nOk);
}

void CFTPTransferDlg::Finish(int nOk) {
  const bool bFirst = !m_bFinished;
  m_bFinished = true;
  if (bFirst) m_nResult = nOk;
  // A modeless window has no caller left to tell of the failure.
  if (bFirst && !nOk && m_bModeless) ShowMessage(ProblemText());
  done(m_nResult ? QDialog::Accepted : QDialog::Rejected);
}

QString CFTPTransferDlg::StatusText() const { return m_pStatus->text(); }
QString CFTPTransferDlg::PercentageText() const { return m_pPercentage->text(); }
QString CFTPTransferDlg::TimeLeftText() const { return m_pTimeLeft->text(); }
QString CFTPTransferDlg::RateText() const { return m_pRate->text(); }
