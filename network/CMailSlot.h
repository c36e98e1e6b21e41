#pragma once
// Short messages between computers: the mail slot "KelvoMailSlot" as UDP
// datagrams. Each copy binds a UDP socket on its own address and the port
// derived from the slot name; writing to "*" sends one datagram to every
// computer of the computer list and to this computer (never to a broadcast
// address). Each message is the text "%s|%s" (sender's computer name,
// message) and a zero byte; at most 1024 bytes.

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "network/LanSettings.h"

class CMailSlot {
 public:
  static constexpr size_t kMessageSize = 1024;
  static constexpr size_t kMaxPerRead = 64;
  static constexpr const char* kSlotName = "KelvoMailSlot";

  explicit CMailSlot(stLanIdentity identity = CurrentLanIdentity());
  ~CMailSlot();
  CMailSlot(const CMailSlot&) = delete;
  CMailSlot& operator=(const CMailSlot&) = delete;

  // 1 when the slot exists (created now or before).
  int MakeMailSlot();
  // Appends the messages waiting now, in arrival order, at most kMaxPerRead
  // (a flood cannot hold up the caller); only datagrams from this computer
  // or a computer of the list count. 0 on a failure.
  int ReadMailSlot(std::vector<std::string>& saMessages);
  // "*" writes to every computer; 1 when the datagram went out.
  int WriteToMailSlot(const std::string& sComputer, const std::string& sText);

  uint16_t Port() const { return m_nPort; }

 private:
  // Addresses of the computer list (names resolved), this computer's first.
  std::vector<std::string> Destinations(const std::string& sComputer) const;
  // The addresses of the list's name-only lines, as far as they are known.
  // A new set of names is resolved once, on a thread of its own: the caller
  // (the timer) never waits for the name service.
  std::map<std::string, std::string> ResolvedNames(const std::vector<std::string>& saNames) const;

  // Shared with the resolving thread, which may outlive this slot.
  struct stNames {
    std::mutex m_mutex;
    std::vector<std::string> m_saAsked;
    std::map<std::string, std::string> m_addresses;
    bool m_bBusy = false;
  };
  std::shared_ptr<stNames> m_pNames = std::make_shared<stNames>();
  stLanIdentity m_identity;
  uint16_t m_nPort;
  int m_nFd = -1;
};

// The short messages of other computers now waiting, as their texts ("%s|%s"
// split at its first "|"; this computer's own are left out).
std::vector<std::string> TakeShortMessages(CMailSlot& slot, const std::string& sThisComputer);
// Writes "%s|%s" (this computer, text) to every computer; failures are silent.
void SendShortMessage(CMailSlot& slot, const std::string& sThisComputer, const std::string& sText);
