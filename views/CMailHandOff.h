#pragma once
// Sending e-mail to persons: the user's mail client is opened with the
// recipients filled in (to, copy, blind copy) and an empty subject and text,
// so the user writes and sends the message there. The client is reached
// through xdg-email with one mailto address built here: every address is
// percent-encoded, and an address holding a line break, "?" or "&" is
// refused, so a stored address can never add headers or attachments.

#include <string>
#include <vector>

class CViewFrame;

// Recipient classes.
inline constexpr int MAIL_TO = 1;
inline constexpr int MAIL_CC = 2;
inline constexpr int MAIL_BCC = 3;

struct stMailRecipient {
  int nClass = MAIL_TO;
  std::string sName;
  std::string sAddress;
};

class CMailHandOff {
 public:
  // What xdg-email's exit status means: 0 sent to the client, 3 no mail
  // system (nothing shown), anything else a failure.
  static constexpr int EXIT_NO_MAIL_SYSTEM = 3;

  // The mailto address for the recipients; empty when an address is refused
  // (sRefused is that address).
  static std::string MailtoUrl(const std::vector<stMailRecipient>& recipients, std::string& sRefused);
  // The program's result code of an exit status: 0 success, 2 failure, -1 no mail system.
  static int ResultOfExit(int nExit);
  // The text shown for a result; empty for none.
  static std::string ResultMessage(int nResult, bool bAttachments);
  // Asks "Select type" (to, copy, blind copy); 0 when cancelled.
  static int AskRecipientClass();
  // Hands the message to the mail client through the frame and shows the result.
  static void Send(CViewFrame& frame, const std::vector<stMailRecipient>& recipients);
};
