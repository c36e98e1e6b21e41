#pragma once
// A modem played by a pseudo-terminal: the code under test opens the slave
// side as its modem device, and a thread on the master side reads each
// command (up to CR) and answers it from a script. Until the modem gets
// "ATE0" it can echo what it receives, as a modem fresh from reset does.

#include <atomic>
#include <chrono>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class CFakeModem {
 public:
  using Clock = std::chrono::steady_clock;

  CFakeModem();
  ~CFakeModem();
  CFakeModem(const CFakeModem&) = delete;
  CFakeModem& operator=(const CFakeModem&) = delete;

  bool Opened() const { return m_nMaster >= 0; }
  // The slave's path, "/dev/pts/N".
  const std::string& Path() const { return m_sPath; }

  // Commands starting with sPrefix get sReply, a modem word such as "BUSY"
  // ("" = no answer at all). The longest matching prefix wins; a command no
  // rule matches is answered "OK".
  void Answer(const std::string& sPrefix, const std::string& sReply);
  // Echo of the received bytes until "ATE0" arrives.
  void SetEcho(bool bEcho) { m_bEcho = bEcho; }
  // Answers as digits ("0\r" for OK) rather than words.
  void SetDigits(bool bDigits) { m_bDigits = bDigits; }

  // Every byte the code under test wrote.
  std::string Written() const;
  // The commands received, without their CR, and when each arrived.
  std::vector<std::string> Commands() const;
  std::vector<Clock::time_point> TimesOf(const std::string& sPrefix) const;

 private:
  void Run();
  void OnCommand(const std::string& sCommand);
  std::string Reply(const std::string& sWord) const;
  void Send(const std::string& sBytes);

  int m_nMaster = -1;
  int m_nSlave = -1;  // held open so the line lives between openings
  std::string m_sPath;
  std::atomic<bool> m_bStop{false};
  std::atomic<bool> m_bEcho{false};
  std::atomic<bool> m_bDigits{false};
  mutable std::mutex m_mutex;
  std::map<std::string, std::string> m_rules;
  std::string m_sWritten;
  std::string m_sCommand;
  std::vector<std::pair<std::string, Clock::time_point>> m_commands;
  std::thread m_thread;
};
