#pragma once
// The FTP transfer window: "File Download" or "File Upload", the status of
// the connection, the file's progress, the time left and the rate, and
// "Cancel". The transfer (CFtpTransfer) runs on a worker thread of the
// window's own; what it reports reaches the window as queued calls on the
// window's thread. Cancelling or closing the window, or destroying it, stops
// the transfer and waits for the thread, so it never outlives the window.

#include <QDialog>
#include <atomic>
#include <string>
#include <thread>

#include "comms/CFtpTransfer.h"

class QLabel;
class QProgressBar;
class QPushButton;

class CFTPTransferDlg : public QDialog, public CFtpEvents {
  Q_OBJECT

 public:
  CFTPTransferDlg(const stFtpRequest& request, QWidget* pParent);
  ~CFTPTransferDlg() override;

  // Opens the local file (asking before a file is replaced) and starts the
  // worker. False when there is nothing to transfer: the failure is shown,
  // a declined replacement is not.
  bool OnInitDialog();
  void OnCancel();
  void reject() override { OnCancel(); }
  // 1 when the whole file was transferred.
  int Result() const { return m_nResult; }
  bool Declined() const { return m_bDeclined; }
  std::string ProblemText() const { return m_transfer.ProblemText(); }
  bool IsRunning() const { return m_thread.joinable(); }

  QString StatusText() const;
  QString PercentageText() const;
  QString TimeLeftText() const;
  QString RateText() const;
  QProgressBar* ProgressBar() const { return m_pProgress; }

  // CFtpEvents, called on the worker thread.
  void OnStatus(const std::string& sText) override;
  void OnProgress(const stFtpProgress& progress) override;
  bool AbortRequested() override { return m_bAbort; }

 private:
  void TransferThread();
  void OnThreadFinished(int nOk);
  void StopTransfer();
  void Finish(int nOk);
  void SetStatus(const QString& sText);
  void SetProgress(const stFtpProgressTexts& texts);

  CFtpTransfer m_transfer;
  bool m_bModeless;
  QLabel* m_pStatus;
  QLabel* m_pPercentage;
  QProgressBar* m_pProgress;
  QLabel* m_pTimeLeft;
  QLabel* m_pRate;
  QPushButton* m_pCancel;
  std::atomic<bool> m_bAbort{false};
  std::atomic<int> m_nThreadResult{0};
  std::thread m_thread;
  bool m_bFinished = false;
  bool m_bDeclined = false;
  int m_nResult = 0;
};
