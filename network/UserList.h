#pragma once
// The user list of an open database: every computer of the computer list and
// this computer, sorted by their list lines, each with its user number.

#include <cstdint>
#include <string>
#include <vector>

#include "network/LanSettings.h"

struct stUserListEntry {
  std::string m_sName;        // computer name
  int m_nUserNumber = 0;      // 0 to 255
  uint32_t m_nNameCheck = 0;  // GetCRC of the name
};

// The last of the four numbers of a dotted address; -1 when it has not four.
int UserNumberFromAddress(const std::string& sAddress);

// Builds the list (ascending by line "name" or "name:address") and returns
// this computer's user number: the last number of its own address (the
// listening address when one is set), 0 when there is none. A line without
// an address gets position + own number + 1.
uint8_t BuildUserList(const stLanIdentity& identity, std::vector<stUserListEntry>& users);
