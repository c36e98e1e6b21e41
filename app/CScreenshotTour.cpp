#include "app/CScreenshotTour.h"

#include <QApplication>
#include <QDir>
#include <QPixmap>
#include <QTimer>

#include "app/CMainFrame.h"

namespace {

struct stShot {
  int nView;
  int nMode;
  const char* pName;
};

constexpr stShot kShots[] = {
    {VIEW_SCHEDULE, 0, "schedule"},    {VIEW_CALENDAR, CALENDAR_DAILY, "daily"},
    {VIEW_CALENDAR, CALENDAR_WEEKLY, "weekly"}, {VIEW_CALENDAR, CALENDAR_MONTHLY, "monthly"},
    {VIEW_ADDRESS, 0, "address"},      {VIEW_MAILLIST, 0, "maillist"},
    {VIEW_LOG, 0, "log"},              {VIEW_CALCULATOR, 0, "calculator"},
};

// Lets the window system paint what the last switch changed.
void Settle() {
  for (int i = 0; i < 5; ++i) QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
}

}  // namespace

CScreenshotTour::CScreenshotTour(CMainFrame* pFrame, const QString& sFolder)
    : QObject(pFrame), m_pFrame(pFrame), m_sFolder(sFolder) {}

bool CScreenshotTour::Start() {
  if (!QDir().mkpath(m_sFolder)) return false;
  QTimer::singleShot(800, this, [this] { TakeAll(); });
  return true;
}

void CScreenshotTour::TakeAll() {
  int nIndex = 0;
  for (const stShot& shot : kShots) {
    if (shot.nView == VIEW_CALENDAR)
      m_pFrame->CalendarView(shot.nMode);
    else
      m_pFrame->SelectView(shot.nView);
    Settle();
    const QString sFile =
        QDir(m_sFolder).filePath(QString("%1-%2.png").arg(++nIndex, 2, 10, QChar('0')).arg(shot.pName));
    m_pFrame->grab().save(sFile, "PNG");
  }
  m_pFrame->close();
}
