#include "network/LanMessage.h"

#include <vector>

#include "support/StringUtil.h"

const char* const LOG_ON = "LOG_ON";
const char* const LOG_ON_ACKNOWLEDGE = "LOG_ON_ACKNOWLEDGE";
const char* const LOG_OFF = "LOG_OFF";
const char* const LOG_ON_SWITCH_USER = "LOG_ON_SWITCH_USER";
const char* const TEST_PING = "TEST_PING";
const char* const AUTO_TEST = "AUTO_TEST";

namespace {

std::vector<std::string> SplitFields(const std::string& sText) {
  std::vector<std::string> saFields;
  ParseString(sText, ":", saFields, 0, true);
  if (!sText.empty() && sText.back() == ':') saFields.push_back("");
  return saFields;
}

// Decimal field within [nLow, nHigh].
bool NumberIn(const std::string& s, long long nLow, long long nHigh, long long& n) {
  return ParseInt(s, n) && n >= nLow && n <= nHigh;
}

bool IsKnownTable(long long n) { return (n >= 0 && n <= 9) || n == 254 || n == 255; }

bool IsKnownType(const std::string& s) {
  return s.size() == 1 && (s[0] == MSG_DATAMODIFIED || s[0] == MSG_REQUESTLOCK ||
                           s[0] == MSG_GRANTLOCK || s[0] == MSG_DATAUNLOCKED);
}

bool IsLogCommand(const std::string& s) {
  return s == LOG_ON || s == LOG_ON_ACKNOWLEDGE || s == LOG_OFF || s == LOG_ON_SWITCH_USER;
}

stLanTextCheck Refused(const std::string& sWhy) {
  stLanTextCheck check;
  check.m_sWhy = sWhy;
  return check;
}

}  // namespace

std::string FormatLanMessage(const std::string& sSender, char cType, uint8_t nUserNumber,
                             uint8_t nTable, uint32_t nKey, unsigned nMessageNumber) {
  return StrFormat("%s:%c:%i:%i:%i:%u", sSender.c_str(), cType, int(nUserNumber), int(nTable),
                   int32_t(nKey), nMessageNumber);
}

std::string FormatLogOnMessage(const std::string& sSender, uint8_t nUserNumber,
                               const std::string& sCommand) {
  return StrFormat("%s:%i:%s", sSender.c_str(), int(nUserNumber), sCommand.c_str());
}

stMessage ExtractMessage(const std::string& sText) {
  stMessage msg;
  const std::vector<std::string> saFields = SplitFields(sText);
  if (saFields.size() < 5) return msg;
  long long n = 0;
  msg.m_sSender = saFields[0];
  msg.m_cType = saFields[1].empty() ? 0 : saFields[1][0];
  msg.m_nUserNumber = uint8_t(ParseInt(saFields[2], n) ? n : 0);
  msg.m_nTable = uint8_t(ParseInt(saFields[3], n) ? n : 0);
  msg.m_nKey = uint32_t(ParseInt(saFields[4], n) ? n : 0);
  return msg;
}

stLockSpec ExtractLockSpec(const stMessage& msg) { return {msg.m_sSender, msg.m_nTable, msg.m_nKey}; }

const char* MessageTypeName(char cType) {
  switch (cType) {
    case MSG_DATAMODIFIED: return "MSG_DATAMODIFIED";
    case MSG_REQUESTLOCK: return "MSG_REQUESTLOCK";
    case MSG_GRANTLOCK: return "MSG_GRANTLOCK";
    case MSG_DATAUNLOCKED: return "MSG_DATAUNLOCKED";
    default: return "NULL_MESSAGE";
  }
}

std::string LockSpecWords(uint8_t nTable, uint32_t nKey) {
  if (nTable == 255 && nKey == 0xFFFFFFFF) return "database";
  if (nTable == 254) return StrFormat("header file location %u", nKey);
  if (nKey == 0xFFFFFFFF) return StrFormat("table %i", int(nTable));
  if (nKey == 0xFFFFFFFE) return StrFormat("table %i resequence", int(nTable));
  return StrFormat("table %i, key %u", int(nTable), nKey);
}

std::string DisplayLockSpec(const stLockSpec& lockSpec) {
  return StrFormat("LockSpec for %s, table %i, key %i", lockSpec.m_sUser.c_str(), int(lockSpec.m_nTable),
                   int32_t(lockSpec.m_nKey));
}

std::string DisplayMessage(const std::string& sText) {
  const std::vector<std::string> saFields = SplitFields(sText);
  if (saFields.size() <= 5) return sText;
  const stMessage msg = ExtractMessage(sText);
  long long nNumber = 0;
  ParseInt(saFields[5], nNumber);
  return StrFormat("%s %s %s",
                   StrFormat("[%s#%u]", msg.m_sSender.c_str(), unsigned(nNumber)).c_str(),
                   StrFormat("%s:%s", msg.m_sSender.c_str(), MessageTypeName(msg.m_cType)).c_str(),
                   LockSpecWords(msg.m_nTable, msg.m_nKey).c_str());
}

stLanTextCheck CheckLanText(const std::string& sText) {
  if (!IsSendableText(sText)) return Refused("line feed in message");
  stLanTextCheck check;
  if (sText == TEST_PING || sText == AUTO_TEST) {
    check.m_nKind = sText == TEST_PING ? LAN_TEXT_PING : LAN_TEXT_AUTOTEST;
    return check;
  }
  const std::vector<std::string> saFields = SplitFields(sText);
  long long n = 0;
  if (sText.find("LOG_") != std::string::npos) {
    if (saFields.size() != 3 || saFields[0].empty() || !IsLogCommand(saFields[2]))
      return Refused("malformed log-on message");
    if (!NumberIn(saFields[1], 0, 255, n)) return Refused("bad user number in log-on message");
    check.m_nKind = LAN_TEXT_LOG;
    check.m_sSender = saFields[0];
    check.m_sCommand = saFields[2];
    check.m_nUserNumber = int(n);
    return check;
  }
  if (saFields.size() != 6) return Refused("wrong field count");
  if (saFields[0].empty()) return Refused("no sender");
  if (!IsKnownType(saFields[1])) return Refused("unknown message type");
  if (!NumberIn(saFields[2], 0, 255, n)) return Refused("bad user number");
  check.m_nUserNumber = int(n);
  if (!NumberIn(saFields[3], 0, 255, n) || !IsKnownTable(n)) return Refused("table out of range");
  if (!NumberIn(saFields[4], -2147483648LL, 4294967295LL, n)) return Refused("bad key");
  if (!NumberIn(saFields[5], 0, 4294967295LL, n)) return Refused("bad message number");
  check.m_nKind = LAN_TEXT_LOCKDATA;
  check.m_sSender = saFields[0];
  return check;
}

bool IsSendableText(const std::string& sText) {
  return sText.find('~') == std::string::npos && sText.find('\n') == std::string::npos;
}
