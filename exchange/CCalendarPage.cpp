#include "exchange/CCalendarPage.h"

#include "data/CScheduleRecord.h"
#include "exchange/CScheduleExport.h"
#include "schedule/OleDate.h"
#include "schedule/Recurrence.h"
#include "support/CConfigFile.h"
#include "support/FileUtil.h"
#include "support/StringUtil.h"

namespace {

constexpr const char* kPageDateFormat = "%B %d, %Y, %I:%M%p (%A)";
constexpr const char* kNone = "None";
constexpr const char* kDefaultFolder = "public";

// A table cell; a leading "+", "!" or "*" colours it red, green or blue.
std::string Cell(const std::string& sText) {
  const std::string sHtml = CCalendarPage::EscapeHtml(sText);
  switch (sText.empty() ? 0 : sText[0]) {
    case '+': return "<td><font color=\"#FF0000\">" + sHtml + "</font></td>";
    case '!': return "<td><font color=\"#00FF00\">" + sHtml + "</font></td>";
    case '*': return "<td><font color=\"#0000FF\">" + sHtml + "</font></td>";
    default: return "<td>" + sHtml + "</td>";
  }
}

std::string StartText(const CScheduleRecord& item) {
  return item.m_cRepeatType == REPEAT_UNSCHEDULED ? kNone : FormatDateTime(item.m_dStart, kPageDateFormat);
}

std::string EndText(const CScheduleRecord& item) {
  const bool bEnd = IsRepeatingType(item.m_cRepeatType) && item.m_nEndDateSet == 1;
  return bEnd ? FormatDateTime(item.m_dEnd, kPageDateFormat) : kNone;
}

}  // namespace

std::string CCalendarPage::EscapeHtml(std::string_view sText) {
  std::string sOut;
  sOut.reserve(sText.size());
  for (const uint32_t n : TextCodePoints(sText)) {
    switch (n) {
      case '&': sOut += "&amp;"; break;
      case '<': sOut += "&lt;"; break;
      case '>': sOut += "&gt;"; break;
      case '"': sOut += "&quot;"; break;
      default:
        if (n > 127)
          sOut += StrFormat("&#%u;", unsigned(n));
        else
          sOut += char(n);
    }
  }
  return sOut;
}

std::vector<std::string> CCalendarPage::PageLines(const std::vector<const CScheduleRecord*>& paItems) {
  std::vector<std::string> sa = {
      "<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.01 Transitional//EN\" "
      "\"http://www.w3.org/TR/html4/loose.dtd\">",
      "<html>",
      "<head>",
      "<title>PROGRAM PAGE</title>",
      "<meta name=\"GENERATOR\" content=\"ZorEduvavoz\">",
      "</head>",
      "<body bgcolor=\"#FFFFFF\">",
  };
  std::string sGroup;
  for (size_t i = 0; i < paItems.size(); ++i) {
    const CScheduleRecord& item = *paItems[i];
    const std::string sLabel = CScheduleExport::TypeLabel(item.m_cRepeatType);
    if (i == 0 || sLabel != sGroup) {
      if (i > 0) sa.push_back("</table>");
      sa.push_back(sLabel);
      sa.push_back("<table border=\"2\" cellspacing=\"0\" bordercolor=\"#000000\">");
      sa.push_back("<td>START TIME</td><td>EVENT</td><td>END TIME</td>");
      sGroup = sLabel;
    }
    sa.push_back("<tr>");
    sa.push_back(Cell(StartText(item)) + Cell(item.m_sDescription) + Cell(EndText(item)));
    sa.push_back("</tr>");
  }
  sa.insert(sa.end(), {"</table>", "</body>", "</html>"});
  return sa;
}

std::string CCalendarPage::PagePath() { return ProgramFile(kFileName); }

stFtpRequest CCalendarPage::UploadRequest(const std::string& sPath, const stFtpAccount& account) {
  stFtpRequest request;
  request.sLocalPath = sPath;
  request.sRemoteName = kFileName;
  request.sRemoteFolder = account.sFolder.empty() ? kDefaultFolder : account.sFolder;
  request.bDownload = false;
  request.sServer = account.sServer;
  request.sUser = account.sUser;
  request.sPassword = account.sPassword;
  request.bPassive = true;
  request.bModeless = false;
  return request;
}

CCalendarPage::ePublish CCalendarPage::Publish(const std::vector<const CScheduleRecord*>& paItems,
                                               const std::string& sPath, const stFtpAccount& account,
                                               const std::function<int(const stFtpRequest&)>& fnTransfer) {
  std::string sPage;
  for (const std::string& s : PageLines(paItems)) sPage += s + "\n";
  // The page is public: readable by the web server's user too.
  if (sPath.empty() || !WriteFileAtomic(sPath, sPage, 0644)) return ePublish::WriteFailed;
  if (!account.IsSet()) return ePublish::Written;
  return fnTransfer(UploadRequest(sPath, account)) == 1 ? ePublish::Uploaded : ePublish::UploadFailed;
}

std::string CCalendarPage::PublishMessage(ePublish result, const std::string& sPath) {
  switch (result) {
    case ePublish::Uploaded: return "";
    case ePublish::Written:
      return "The calendar page was written to " + sPath +
             ". Uploading it needs a publishing account in Kelvo.cfg.";
    case ePublish::WriteFailed: return "The calendar page " + sPath + " could not be written.";
    case ePublish::UploadFailed: return sPath + " NOT transferred OK";
  }
  return "";
}
