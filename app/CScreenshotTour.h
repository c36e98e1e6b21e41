#pragma once
// Saves a picture of the main window in each view (KELVO_SCREENSHOTS names
// the folder), then closes the window the ordinary way. Used to make the
// pictures of the README and to look at the program under Xvfb.

#include <QObject>
#include <QString>

class CMainFrame;

class CScreenshotTour : public QObject {
  Q_OBJECT

 public:
  CScreenshotTour(CMainFrame* pFrame, const QString& sFolder);
  // Starts the tour once the window had time to show; false when the folder
  // cannot be made.
  bool Start();

 private:
  void TakeAll();

  CMainFrame* m_pFrame;
  QString m_sFolder;
};
