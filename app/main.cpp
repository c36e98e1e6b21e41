// The Kelvo desktop program.

#include <QApplication>

#include "app/CKelvoApp.h"
#include "app/CMainFrame.h"
#include "app/CQuitSignals.h"

int main(int argc, char** argv) {
  QApplication qapp(argc, argv);
  CKelvoApp app;
  if (!app.InitInstance(qapp.arguments())) return app.ExitInstance() + 1;
  CQuitSignals quit([&app] {
    if (app.MainFrame()) app.MainFrame()->close();
  });
  const int nResult = qapp.exec();
  app.ExitInstance();
  return nResult;
}
