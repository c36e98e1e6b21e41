#pragma once
// The published calendar page: the schedule items the calendar shows, grouped
// by repeat type, as an HTML table page "ZorEduvavoz.htm" in the program
// folder, and its upload to the publishing account. Every text that comes
// from the database is escaped, since any user of the shared file can type a
// description and the page is public.

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "comms/FtpRequest.h"

class CScheduleRecord;
struct stFtpAccount;

class CCalendarPage {
 public:
  static constexpr const char* kFileName = "ZorEduvavoz.htm";

  // The page's lines for the items, in their order.
  static std::vector<std::string> PageLines(const std::vector<const CScheduleRecord*>& paItems);
  // "&", "<", ">" and '"' as entities, every character above 127 as "&#N;".
  static std::string EscapeHtml(std::string_view sText);
  // The page file in the program folder.
  static std::string PagePath();

  // The upload of a written page to the account (its folder, else "public").
  static stFtpRequest UploadRequest(const std::string& sPath, const stFtpAccount& account);

  enum class ePublish { Uploaded, Written, WriteFailed, UploadFailed };
  // Writes the page to sPath and, when the account is set up, uploads it
  // with fnTransfer (1 on success). A page that could not be written is
  // never uploaded.
  static ePublish Publish(const std::vector<const CScheduleRecord*>& paItems, const std::string& sPath,
                          const stFtpAccount& account,
                          const std::function<int(const stFtpRequest&)>& fnTransfer);
  // What the user is told of the result; empty after an upload.
  static std::string PublishMessage(ePublish result, const std::string& sPath);
};
