#pragma once
// Mail check account strings, as kept in "Kelvo.cfg" (EMAILCHECKSTRING):
// server, user name, password and any number of alert keys, separated by the
// grave accent "`". The server may carry a port as "host:port".

#include <cstdint>
#include <string>
#include <vector>

constexpr char kAccountSeparator = '`';

struct stMailAccount {
  std::string sServer;  // as typed: "host" or "host:port"
  std::string sUser;
  std::string sPassword;
  std::vector<std::string> saKeys;  // upper case, none empty
};

// Splits an account string keeping every field (an empty password stays
// empty and the keys after it stay keys). Empty keys are dropped. False for
// fewer than three fields.
bool ParseMailAccount(const std::string& sAccount, stMailAccount& account);
std::string FormatMailAccount(const stMailAccount& account);

// "host" gives port 110; "host:port" its port. False for a port that is not
// a number from 1 to 65535.
bool SplitServer(const std::string& sServer, std::string& sHost, uint16_t& nPort);

// The keys of the account dialog's multi-line text: one key per line, upper
// case, blank lines dropped; and the text again from the keys.
std::vector<std::string> KeysFromText(const std::string& sText);
std::string TextFromKeys(const std::vector<std::string>& saKeys);

// The account dialog's check of its fields: the refusal to show, or empty
// when the fields can be stored. The keys text may hold line breaks.
std::string CheckMailAccountFields(const std::string& sServer, const std::string& sUser,
                                   const std::string& sPassword, const std::string& sKeysText);
