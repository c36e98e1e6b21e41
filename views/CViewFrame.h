#pragma once
// What a view asks of the main frame: the line pane, the frame's own
// commands a view key stands for (backup, refresh, short message), and the
// wait cursor of a long step. The Qt main frame implements it; headless
// views (tools, tests) get the default, which does nothing.

enum eFrameRequest : int {
  FRAME_BACKUP = 1,         // Ctrl+B
  FRAME_REFRESH = 2,        // Ctrl+R
  FRAME_SHORT_MESSAGE = 3,  // Ctrl+M: send a short message to the other users
};

class CViewFrame {
 public:
  virtual ~CViewFrame() = default;
  // "Line %u"; a negative line blanks the pane.
  virtual void ShowLineNumber(int /*nLine*/) {}
  virtual void FrameRequest(eFrameRequest /*request*/) {}
  // The wait cursor on (a search, printing) and off again.
  virtual void WaitCursor(bool /*bOn*/) {}

  // The frame that does nothing.
  static CViewFrame &None();
};

// The wait cursor for the life of a step.
class CViewWaitCursor {
 public:
  explicit CViewWaitCursor(CViewFrame &frame) : m_frame(frame) { m_frame.WaitCursor(true); }
  ~CViewWaitCursor() { m_frame.WaitCursor(false); }
  CViewWaitCursor(const CViewWaitCursor &) = delete;
  CViewWaitCursor &operator=(const CViewWaitCursor &) = delete;

 private:
  CViewFrame &m_frame;
};
