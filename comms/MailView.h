#pragma once
// What the message viewers show for one listed message: the text window
// ("Email body") or the HTML window.

#include <string>

struct stMailView {
  bool bHtml = false;
  std::string sTitle = "Email body";
  std::string sText;  // UTF-8: the text, or the HTML document
};

// "View normal" (and a double click): HTML when the message holds HTML,
// otherwise its decoded text.
stMailView MailViewNormal(const std::string& sMessage);
// "View raw text": the message as received, header included.
stMailView MailViewRaw(const std::string& sMessage);
// "View HTML": the document from "<html" to "</html>" (any case); the
// decoded text when the message holds none.
stMailView MailViewHtml(const std::string& sMessage);

// Writes the HTML to "Temp.htm" in the program folder (mode 0600) for the
// HTML window; its path, empty when it cannot be written.
std::string WriteTempHtml(const std::string& sHtml);
