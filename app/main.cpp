// The Kelvo desktop program.

#include <QApplication>

#include "app/CKelvoApp.h"
#include "app/CMainFrame.h"
#include "app/CQuitSignals.h"

int main(int argc, char** argv) {
  QApplication qapp(argc, argv);
  CKelvoApp app;
  // Installed first: a signal during the start questions closes the window
  // as soon as it exists.
  CQuitSignals quit;
  if (!app.InitInstance(qapp.arguments())) return app.ExitInstance() + 1;
  quit.SetAction([&app] { app.MainFrame()->close(); });
  const int nResult = qapp.exec();
  app.ExitInstance();
  return nResult;
}
