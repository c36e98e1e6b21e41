#include "comms/MailView.h"

#include "comms/MailDecode.h"
#include "support/FileUtil.h"
#include "support/StringUtil.h"

namespace {

stMailView TextView(const stMailText& text) {
  stMailView view;
  view.sText = text.sText.empty() ? text.sHtml : text.sText;
  return view;
}

// The document between the tags, tags included; empty when either is missing.
std::string HtmlDocument(const std::string& sSource) {
  const std::string sLower = ToLower(sSource);
  const size_t nStart = sLower.find("<html");
  if (nStart == std::string::npos) return "";
  const size_t nEnd = sLower.find("</html>", nStart);
  if (nEnd == std::string::npos) return "";
  return sSource.substr(nStart, nEnd + 7 - nStart);
}

bool HoldsHtml(const stMailText& text) {
  return !text.sHtml.empty() || ToLower(text.sText).find("<html") != std::string::npos;
}

stMailView HtmlView(const stMailText& text) {
  stMailView view;
  view.sText = HtmlDocument(text.sHtml.empty() ? text.sText : text.sHtml);
  // An HTML part is a document even without the outer tags.
  if (view.sText.empty()) view.sText = text.sHtml;
  if (view.sText.empty()) return TextView(text);
  view.bHtml = true;
  return view;
}

}  // namespace

stMailView MailViewNormal(const std::string& sMessage) {
  const stMailText text = DecodeMailText(sMessage);
  return HoldsHtml(text) ? HtmlView(text) : TextView(text);
}

stMailView MailViewRaw(const std::string& sMessage) {
  stMailView view;
  view.sText = DecodeStoredText(sMessage);  // every byte shown, none converted by a charset
  return view;
}

stMailView MailViewHtml(const std::string& sMessage) { return HtmlView(DecodeMailText(sMessage)); }

std::string WriteTempHtml(const std::string& sHtml) {
  const std::string sPath = ProgramFile("Temp.htm");
  return !sPath.empty() && WriteFileAtomic(sPath, sHtml, 0600) ? sPath : "";
}
