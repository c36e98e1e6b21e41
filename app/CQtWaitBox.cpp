#include "app/CQtWaitBox.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

CQtWaitBox::CQtWaitBox(const stWaitBoxView& view, std::function<void()> fnAbortPressed,
                       QWidget* pOver)
    : QDialog(nullptr, Qt::Dialog | Qt::WindowTitleHint | Qt::CustomizeWindowHint |
                           Qt::WindowCloseButtonHint),
      m_fnAbortPressed(std::move(fnAbortPressed)),
      m_pLabel(new QLabel(this)),
      m_pProgress(new QProgressBar(this)),
      m_pAbort(new QPushButton(tr("Abort"), this)) {
  setObjectName("KelvoWaitBox");
  // Application-modal and shown without a nested loop: the operation goes on
  // running, questions it asks stack above the box and stay answerable.
  setWindowModality(Qt::ApplicationModal);
  auto* pLayout = new QVBoxLayout(this);
  m_pLabel->setMinimumWidth(320);
  m_pLabel->setWordWrap(true);
  pLayout->addWidget(m_pLabel);
  m_pProgress->setRange(0, 1000);
  m_pProgress->setTextVisible(true);
  pLayout->addWidget(m_pProgress);
  pLayout->addWidget(m_pAbort, 0, Qt::AlignHCenter);
  connect(m_pAbort, &QPushButton::clicked, this, [this] { m_fnAbortPressed(); });
  Show(view);
  adjustSize();
  if (pOver) {
    const QRect r = pOver->frameGeometry();
    move(r.center() - QPoint(width() / 2, height() / 2));
  }
}

void CQtWaitBox::Show(const stWaitBoxView& view) {
  setWindowTitle(QString::fromStdString(view.sTitle));
  m_sText = QString::fromStdString(view.sText);
  m_pLabel->setText(m_sText);
  m_pAbort->setVisible(view.bAbortShown);
  m_pProgress->setVisible(view.bProgressShown);
  if (view.bProgressShown) {
    m_pProgress->setValue(int(view.dPercent * 10.0 + 0.5));
    m_pProgress->setFormat(QString::fromStdString(view.sPercentText) + "%");
  }
  if (isVisible()) repaint();
}

void CQtWaitBox::keyPressEvent(QKeyEvent* pEvent) {
  if (pEvent->key() == Qt::Key_Escape) {
    m_fnAbortPressed();
    return;
  }
  QDialog::keyPressEvent(pEvent);
}

void CQtWaitBox::closeEvent(QCloseEvent* pEvent) {
  pEvent->ignore();
  m_fnAbortPressed();
}

void CQtWaitBox::reject() { m_fnAbortPressed(); }
