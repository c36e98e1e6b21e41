#pragma once
// The texts that travel between copies: log-on messages "%s:%i:%s", lock and
// data messages "%s:%c:%i:%i:%i:%u", "TEST_PING" and "AUTO_TEST". Parsing,
// formatting and the check every received text passes before it is queued.

#include <cstdint>
#include <string>

// A lock, a request or a grant: computer name, table and key.
struct stLockSpec {
  std::string m_sUser;
  uint8_t m_nTable = 255;
  uint32_t m_nKey = 0xFFFFFFFF;

  bool operator==(const stLockSpec&) const = default;
};

// A received lock or data message after parsing.
struct stMessage {
  std::string m_sSender;
  char m_cType = 0;
  uint8_t m_nUserNumber = 255;
  uint8_t m_nTable = 255;
  uint32_t m_nKey = 0xFFFFFFFF;
};

// Message types.
constexpr char MSG_DATAMODIFIED = 'M';
constexpr char MSG_REQUESTLOCK = 'L';
constexpr char MSG_GRANTLOCK = 'l';
constexpr char MSG_DATAUNLOCKED = 'u';

// Log-on commands.
extern const char* const LOG_ON;
extern const char* const LOG_ON_ACKNOWLEDGE;
extern const char* const LOG_OFF;
extern const char* const LOG_ON_SWITCH_USER;
extern const char* const TEST_PING;
extern const char* const AUTO_TEST;

// "%s:%c:%i:%i:%i:%u"; the key travels as a signed number ("-1" for 0xFFFFFFFF).
std::string FormatLanMessage(const std::string& sSender, char cType, uint8_t nUserNumber,
                             uint8_t nTable, uint32_t nKey, unsigned nMessageNumber);
// "%s:%i:%s" (sender, user number, command).
std::string FormatLogOnMessage(const std::string& sSender, uint8_t nUserNumber,
                               const std::string& sCommand);

// Splits at ":" keeping empty fields; with fewer than five fields the result
// is the "no message" value (sender empty, type 0, user 255, table 255, key -1).
stMessage ExtractMessage(const std::string& sText);
stLockSpec ExtractLockSpec(const stMessage& msg);

// "MSG_DATAMODIFIED", ..., "NULL_MESSAGE".
const char* MessageTypeName(char cType);
// "database", "table %i", "table %i resequence", "header file location %u", "table %i, key %u".
std::string LockSpecWords(uint8_t nTable, uint32_t nKey);
// "LockSpec for %s, table %i, key %i".
std::string DisplayLockSpec(const stLockSpec& lockSpec);
// "[%s#%u] %s:%s %s" for a message text of more than five fields, else the text.
std::string DisplayMessage(const std::string& sText);

// What a received text is, after the strict check of its fields.
enum eLanTextKind : int { LAN_TEXT_INVALID, LAN_TEXT_LOG, LAN_TEXT_LOCKDATA, LAN_TEXT_PING,
                          LAN_TEXT_AUTOTEST };
struct stLanTextCheck {
  eLanTextKind m_nKind = LAN_TEXT_INVALID;
  std::string m_sSender;   // empty for ping and auto-test
  std::string m_sCommand;  // log-on command
  int m_nUserNumber = -1;
  std::string m_sWhy;      // why an invalid text was refused
};
stLanTextCheck CheckLanText(const std::string& sText);

// A text can travel when it holds neither "~" nor a line feed.
bool IsSendableText(const std::string& sText);
