#pragma once
// What a view asks of the main frame: the line pane, the frame's own
// commands a view key stands for (backup, refresh, short message, ping), the wait
// cursor of a long step, and the windows and programs of the platform a
// view opens (the mail client, the label print dialog, the phone dialer).
// The Qt main frame implements it; headless views (tools, tests) get the
// default, which does nothing.

#include <string>
#include <vector>

#include "comms/FtpRequest.h"

class CTableManager;

enum eFrameRequest : int {
  FRAME_BACKUP = 1,         // Ctrl+B
  FRAME_REFRESH = 2,        // Ctrl+R
  FRAME_SHORT_MESSAGE = 3,  // Ctrl+M: send a short message to the other users
  FRAME_SCHEDULE_VIEW = 4,  // back to the schedule view (the record dump's e&Xit)
  FRAME_PING = 5,           // "TEST_PING" to the other computers through the LAN server
};

class CViewFrame {
 public:
  virtual ~CViewFrame() = default;
  // "Line %u"; a negative line blanks the pane.
  virtual void ShowLineNumber(int /*nLine*/) {}
  virtual void FrameRequest(eFrameRequest /*request*/) {}
  // The wait cursor on (a search, printing) and off again.
  virtual void WaitCursor(bool /*bOn*/) {}
  // Runs the mail client hand-off (xdg-email) with the arguments; its exit
  // status, 3 when there is no mail system.
  virtual int RunMailClient(const std::vector<std::string>& /*saArgs*/) { return 3; }
  // The label print dialog on the label text; the phone dialer on numbers.
  virtual void PrintLabel(CTableManager& /*db*/, const std::string& /*sText*/) {}
  virtual void OpenPhoneDialer(CTableManager& /*db*/, const std::vector<std::string>& /*saNumbers*/) {}
  // One FTP transfer with its progress window; 1 on success. The failure
  // texts are shown by the transfer itself.
  virtual int DoFtpTransfer(const stFtpRequest& /*request*/) { return 0; }

  // The frame that does nothing.
  static CViewFrame& None();
};

// The wait cursor for the life of a step.
class CViewWaitCursor {
 public:
  explicit CViewWaitCursor(CViewFrame& frame) : m_frame(frame) { m_frame.WaitCursor(true); }
  ~CViewWaitCursor() { m_frame.WaitCursor(false); }
  CViewWaitCursor(const CViewWaitCursor&) = delete;
  CViewWaitCursor& operator=(const CViewWaitCursor&) = delete;

 private:
  CViewFrame& m_frame;
};
