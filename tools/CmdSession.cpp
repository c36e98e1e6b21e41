// kelvotool session: a full networked copy of the program without windows.
// It opens the database as the program does (user list, LAN server, log-on,
// lock manager), then reads commands from standard input, one per line, and
// answers on standard output. Every command ends with one line that begins
// with "OK" or "FAIL"; lines that begin with "MESSAGE:" (a message box),
// "UNSCRIPTED:" (a question nobody answered), "WAIT:" (a wait box) or "CLOSED" (the database was
// closed on the lock manager's loss) can come in between. Questions are
// answered from a queue filled by --answers and by the "answer" command.
//
// The copy's identity comes from the environment and its program folder
// ($KELVO_HOME: Kelvo.cfg, Kelvo.usr), as for the program itself.

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <iostream>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "data/CAlarmList.h"
#include "data/CItemDialogs.h"
#include "data/CScheduleRecord.h"
#include "data/CTableManager.h"
#include "engine/CRecordDumpEdit.h"
#include "data/CLanDatabaseNetwork.h"
#include "network/CMailSlot.h"
#include "schedule/OleDate.h"
#include "support/CConfigFile.h"
#include "support/CFrameServices.h"
#include "support/CScriptedUi.h"
#include "support/Diagnostic.h"
#include "support/FileUtil.h"
#include "support/StringUtil.h"
#include "support/UserPrompts.h"
#include "tools/CToolCommands.h"
#include "views/CDatabaseView.h"
#include "views/CLogView.h"

namespace {

using Clock = std::chrono::steady_clock;

std::string OneLine(const std::string& s) {
  std::string sOut;
  for (char c : s) sOut += c == '\n' ? std::string("\\n") : std::string(1, c);
  return sOut;
}

void Say(const std::string& sLine) {
  std::cout << sLine << "\n" << std::flush;
}

// Message boxes are printed as they are shown. An edit dialog can be
// answered by a function of the form the dialog shows (to append to what the
// item holds at that moment).
class CSessionUi : public CScriptedUi {
 public:
  int MessageBox(const std::string& sText, const std::string& sCaption, int nButtons,
                 int nDefault) override {
    if (!m_bQuiet) Say("MESSAGE: " + OneLine(sText));
    return CScriptedUi::MessageBox(sText, sCaption, nButtons, nDefault);
  }
  // Wait boxes show as "WAIT:" lines, so a driver knows a wait is under way.
  void WaitBoxShow(int nBox, const stWaitBoxView& view) override {
    if (!m_bQuiet) Say("WAIT: " + OneLine(view.sText));
    CScriptedUi::WaitBoxShow(nBox, view);
  }
  int EditItem(stEditForm& form) override {
    if (!m_fnFormAnswer) return CScriptedUi::EditItem(form);
    auto fn = std::move(m_fnFormAnswer);
    m_fnFormAnswer = nullptr;
    fn(form);
    return IDOK;
  }
  std::function<void(stEditForm&)> m_fnFormAnswer;
  // While a stress runs its driver reads only the final reply: lines it
  // never reads would fill the pipe and stall this copy in the middle of a
  // lock, and every other copy with it.
  bool m_bQuiet = false;
};

// What one copy did in a stress run.
struct stStressCounts {
  int nPersonAdds = 0, nPersonDeletes = 0, nEdits = 0, nScheduleAdds = 0, nScheduleEdits = 0,
      nScheduleDeletes = 0, nRefused = 0;
};

// Counts the tables the refresh re-read.
class CSessionFrame : public CFrameServices {
 public:
  void TableRefreshed(int /*nTable*/) override { ++m_nRefreshes; }
  int m_nRefreshes = 0;
};

int AnswerCode(const std::string& s) {
  static const std::map<std::string, int> kAnswers = {
      {"ok", IDOK},     {"cancel", IDCANCEL}, {"abort", IDABORT}, {"retry", IDRETRY},
      {"ignore", IDIGNORE}, {"yes", IDYES},   {"no", IDNO}};
  const auto it = kAnswers.find(ToLower(s));
  return it == kAnswers.end() ? 0 : it->second;
}

int TableCode(const std::string& s) {
  static const std::map<std::string, int> kTables = {
      {"category", TABLE_CATEGORY}, {"categories", TABLE_CATEGORY}, {"5", TABLE_CATEGORY},
      {"person", TABLE_PERSON},     {"persons", TABLE_PERSON},      {"6", TABLE_PERSON},
      {"schedule", TABLE_SCHEDULE}, {"8", TABLE_SCHEDULE},          {"log", TABLE_LOG},
      {"9", TABLE_LOG}};
  const auto it = kTables.find(ToLower(s));
  return it == kTables.end() ? -1 : it->second;
}

// "Field=Value; Field=Value" with "\n" for a line break inside a value.
std::vector<stEditField> ParseFields(const std::string& sText) {
  std::vector<std::string> saPairs;
  ParseString(sText, ";", saPairs);
  std::vector<stEditField> fields;
  for (const auto& sPair : saPairs) {
    const size_t nEq = sPair.find('=');
    if (nEq == std::string::npos) continue;
    std::string sValue = sPair.substr(nEq + 1);
    for (size_t n; (n = sValue.find("\\n")) != std::string::npos;) sValue.replace(n, 2, "\n");
    fields.push_back({Trim(sPair.substr(0, nEq)), Trim(sValue)});
  }
  return fields;
}

// One line per item: code, sequence and the stored bytes of the item, so two
// lists are equal exactly when the tables hold the same records.
std::vector<std::string> CanonicalLines(const CDatabase& db, uint8_t nTable) {
  std::vector<std::string> saLines;
  std::vector<uint8_t> cBuffer(DB_BUFFER_SIZE);
  for (const auto& e : *db.PtrToIndexArray(nTable)) {
    stRecordBuffer b(cBuffer.data(), uint32_t(cBuffer.size()));
    const uint32_t nLen = CDatabase::EncodeItem(nTable, *e.m_pItem, b);
    std::string sHex;
    for (uint32_t i = 0; i < nLen; ++i) sHex += StrFormat("%02x", cBuffer[i]);
    saLines.push_back(StrFormat("%u %u %s", CDatabase::ItemCode(nTable, *e.m_pItem),
                                CDatabase::ItemSequence(nTable, *e.m_pItem), sHex.c_str()));
  }
  return saLines;
}

class CSession {
 public:
  CSession() {
    SetUi(&m_ui);
    SetFrameServices(&m_frame);
    m_ui.SetUnexpectedHandler([](const std::string& s) { Say("UNSCRIPTED: " + OneLine(s)); });
    m_ui.SetEventHook([this] { Pump(); });
    m_net.Lan().SetPoster(&m_poster);
    m_net.Lan().SetRefreshRequest([this] { m_db.RefreshOnNotice(); });
    m_db.SetNetwork(&m_net);
  }
  ~CSession() {
    if (m_db.IsDatabaseOpen()) m_db.CloseDatabase();
    SetFrameServices(nullptr);
    SetUi(nullptr);
  }

  void QueueAnswers(const std::string& sList) {
    std::vector<std::string> sa;
    ParseString(sList, ",", sa);
    for (const auto& s : sa)
      if (AnswerCode(s)) m_ui.QueueAnswer(AnswerCode(s));
  }

  int Open(const std::string& sFile, bool bNetworked) {
    if (!m_db.OpenDatabase(ToolRootName(sFile), bNetworked)) {
      Say("FAIL open");
      return TOOL_ERROR;
    }
    m_slot.MakeMailSlot();
    if (std::exchange(m_bMessagesMissed, false)) m_poster.PostMainFrameMessage(MAINFRAME_MESSAGES_WAITING);
    Say(StrFormat("OK open user %u users %u", unsigned(m_db.m_nUserNumber), m_db.CountOnLine()));
    return TOOL_OK;
  }

  int Run() {
    std::string sPending;
    auto lastTick = Clock::now();
    for (;;) {
      pollfd fd{0, POLLIN, 0};
      const int nReady = poll(&fd, 1, 20);
      Pump();
      if (Clock::now() - lastTick >= std::chrono::seconds(1)) {
        lastTick = Clock::now();
        if (m_db.IsDatabaseOpen() && BusyDepth() == 0) m_db.RetryOwedRefresh();
      }
      if (nReady <= 0) continue;
      char c[4096];
      const ssize_t n = ::read(0, c, sizeof c);
      if (n <= 0) return TOOL_OK;
      sPending.append(c, size_t(n));
      for (size_t nEnd; (nEnd = sPending.find('\n')) != std::string::npos;) {
        const std::string sLine = Trim(sPending.substr(0, nEnd));
        sPending.erase(0, nEnd + 1);
        if (sLine.empty()) continue;
        if (sLine == "quit") {
          Say("OK quit");
          return TOOL_OK;
        }
        Execute(sLine);
      }
    }
  }

 private:
  // What the main window does with its private message.
  void Pump() {
    if (m_nPumpDepth > 2) return;
    ++m_nPumpDepth;
    for (int nCode : m_poster.Drain()) {
      // Messages that come while the database opens are drained after it.
      if (nCode == MAINFRAME_MESSAGES_WAITING && !m_db.IsDatabaseOpen()) m_bMessagesMissed = true;
      if (nCode == MAINFRAME_MESSAGES_WAITING && m_db.IsDatabaseOpen()) m_net.Lan().OnMessage();
      if (nCode == MAINFRAME_CLOSE_DATABASE) m_bCloseRequested = true;
    }
    // Closing waits until no wait box, question or operation is under way.
    if (m_bCloseRequested && BusyDepth() == 0 && m_nPumpDepth == 1) {
      m_bCloseRequested = false;
      if (m_db.IsDatabaseOpen()) m_db.CloseDatabase();
      Say("CLOSED");
    }
    --m_nPumpDepth;
  }

  bool WaitFor(const std::function<bool()>& fn, int nSeconds) {
    const auto deadline = Clock::now() + std::chrono::seconds(nSeconds);
    while (!fn() && Clock::now() < deadline) {
      Pump();
      poll(nullptr, 0, 5);
    }
    return fn();
  }

  void Execute(const std::string& sLine) {
    std::istringstream in(sLine);
    std::string sCommand, sRest;
    in >> sCommand;
    std::getline(in, sRest);
    sRest = Trim(sRest);
    const auto it = Commands().find(sCommand);
    if (it == Commands().end()) {
      Say("FAIL unknown command " + sCommand);
      return;
    }
    if (!m_db.IsDatabaseOpen() && sCommand != "answer" && sCommand != "input") {
      Say("FAIL database closed");
      return;
    }
    (this->*(it->second))(sRest);
  }

  using Handler = void (CSession::*)(const std::string&);
  static const std::map<std::string, Handler>& Commands() {
    static const std::map<std::string, Handler> kCommands = {
        {"answer", &CSession::CmdAnswer},   {"input", &CSession::CmdInput},
        {"add", &CSession::CmdAdd},         {"edit", &CSession::CmdEdit},
        {"delete", &CSession::CmdDelete},   {"lock", &CSession::CmdLock},
        {"unlock", &CSession::CmdUnlock},   {"list", &CSession::CmdList},
        {"refreshes", &CSession::CmdRefreshes}, {"waitrefresh", &CSession::CmdWaitRefresh},
        {"waitusers", &CSession::CmdWaitUsers}, {"users", &CSession::CmdUsers},
        {"message", &CSession::CmdMessage}, {"short", &CSession::CmdShort},
        {"shorts", &CSession::CmdShorts},   {"pending", &CSession::CmdPending},
        {"sleep", &CSession::CmdSleep},     {"ping", &CSession::CmdPing},
        {"stress", &CSession::CmdStress},   {"tokens", &CSession::CmdTokens},
        {"holddb", &CSession::CmdHoldDatabase}, {"record", &CSession::CmdRecord},
        {"alarms", &CSession::CmdAlarms},       {"logview", &CSession::CmdLogView},
        {"tickgap", &CSession::CmdTickGap}};
    return kCommands;
  }

  // Splits "TABLE [CODE] [rest]".
  bool TableAndCode(const std::string& sArgs, int& nTable, uint32_t* pCode, std::string* pRest) {
    std::istringstream in(sArgs);
    std::string sTable, sCode;
    in >> sTable;
    nTable = TableCode(sTable);
    long long n = 0;
    if (pCode) {
      in >> sCode;
      if (!ParseInt(sCode, n) || n < 0 || n > 0xFFFFFFFFLL) return false;
      *pCode = uint32_t(n);
    }
    if (pRest) std::getline(in, *pRest);
    return nTable >= 0;
  }

  void CmdAnswer(const std::string& s) {
    const int nAnswer = AnswerCode(s);
    if (!nAnswer) return Say("FAIL answer " + s);
    m_ui.QueueAnswer(nAnswer);
    Say("OK");
  }
  void CmdInput(const std::string& s) {
    m_ui.QueueInput(s);
    Say("OK");
  }
  void CmdAdd(const std::string& sArgs) {
    int nTable = 0;
    std::string sFields;
    if (!TableAndCode(sArgs, nTable, nullptr, &sFields)) return Say("FAIL usage: add TABLE FIELDS");
    m_ui.QueueEdit(ParseFields(sFields));
    uint32_t nCode = DB_NONE;
    const eItemResult n = m_db.AddTableItem(uint8_t(nTable), DB_NONE, nullptr, true, {}, &nCode);
    Say(n == eItemResult::Done ? StrFormat("OK %u", nCode) : "FAIL add");
  }
  void CmdEdit(const std::string& sArgs) {
    int nTable = 0;
    uint32_t nCode = 0;
    std::string sFields;
    if (!TableAndCode(sArgs, nTable, &nCode, &sFields)) return Say("FAIL usage: edit TABLE CODE FIELDS");
    m_ui.QueueEdit(ParseFields(sFields));
    Say(m_db.EditTableItem(uint8_t(nTable), nCode) == eItemResult::Done ? "OK" : "FAIL edit");
  }
  void CmdDelete(const std::string& sArgs) {
    int nTable = 0;
    uint32_t nCode = 0;
    if (!TableAndCode(sArgs, nTable, &nCode, nullptr)) return Say("FAIL usage: delete TABLE CODE");
    Say(m_db.DeleteTableItem(uint8_t(nTable), nCode, false) == eItemResult::Done ? "OK"
                                                                                 : "FAIL delete");
  }
  void CmdLock(const std::string& sArgs) {
    int nTable = 0;
    uint32_t nCode = 0;
    if (!TableAndCode(sArgs, nTable, &nCode, nullptr)) return Say("FAIL usage: lock TABLE CODE");
    const uint32_t nLoc = m_db.LockRecord(uint8_t(nTable), nCode);
    if (nLoc == DB_NONE) return Say("FAIL lock");
    m_locks[{nTable, nCode}] = nLoc;
    Say(StrFormat("OK %u", nLoc));
  }
  void CmdUnlock(const std::string& sArgs) {
    int nTable = 0;
    uint32_t nCode = 0;
    if (!TableAndCode(sArgs, nTable, &nCode, nullptr)) return Say("FAIL usage: unlock TABLE CODE");
    const auto it = m_locks.find({nTable, nCode});
    if (it == m_locks.end()) return Say("FAIL not locked here");
    const int n = m_db.UnlockRecordOf(uint8_t(nTable), nCode, it->second);
    m_locks.erase(it);
    Say(n ? "OK" : "FAIL unlock");
  }
  void CmdList(const std::string& sArgs) {
    const int nTable = TableCode(sArgs);
    if (nTable < 0) return Say("FAIL usage: list TABLE");
    const std::vector<std::string> saLines = CanonicalLines(m_db, uint8_t(nTable));
    for (const auto& s : saLines) Say(s);
    Say(StrFormat("OK %zu", saLines.size()));
  }
  void CmdRefreshes(const std::string&) { Say(StrFormat("OK %d", m_frame.m_nRefreshes)); }
  void CmdWaitRefresh(const std::string& sArgs) {
    long long nCount = 0, nSeconds = 20;
    std::istringstream in(sArgs);
    std::string sCount, sSeconds;
    in >> sCount >> sSeconds;
    if (!ParseInt(sCount, nCount) || (!sSeconds.empty() && !ParseInt(sSeconds, nSeconds)))
      return Say("FAIL usage: waitrefresh COUNT [SECONDS]");
    const bool bDone = WaitFor([&] { return m_frame.m_nRefreshes >= nCount; }, int(nSeconds));
    Say(StrFormat("%s %d", bDone ? "OK" : "FAIL", m_frame.m_nRefreshes));
  }
  void CmdWaitUsers(const std::string& sArgs) {
    long long nCount = 0;
    if (!ParseInt(sArgs, nCount)) return Say("FAIL usage: waitusers COUNT");
    const bool bDone = WaitFor([&] { return m_db.CountOnLine() == unsigned(nCount); }, 20);
    Say(StrFormat("%s %u", bDone ? "OK" : "FAIL", m_db.CountOnLine()));
  }
  void CmdUsers(const std::string&) {
    CLanServer* pServer = m_net.Lan().Server();
    Say(StrFormat("lock manager %s %s", m_net.Lan().LockMngrName().c_str(),
                  m_net.Lan().LockMngrOnLine() ? "on-line" : "off-line"));
    for (const auto& u : m_db.m_caUsers) Say(StrFormat("user %d %s", u.m_nUserNumber, u.m_sName.c_str()));
    if (pServer)
      for (const auto& p : pServer->GetPeers())
        Say(StrFormat("peer %s %s %d %d", p.m_sName.c_str(), p.m_sAddress.c_str(), p.m_nConnected,
                      int(p.m_nUserNumber)));
    Say(StrFormat("OK %u", m_db.CountOnLine()));
  }
  void CmdMessage(const std::string& sArgs) {
    std::istringstream in(sArgs);
    long long nUser = 0;
    std::string sUser, sText;
    in >> sUser;
    std::getline(in, sText);
    if (!ParseInt(sUser, nUser)) return Say("FAIL usage: message USER TEXT");
    std::string sTo;
    for (const auto& u : m_db.m_caUsers)
      if (u.m_nUserNumber == nUser) sTo = StrFormat("%i: %s", u.m_nUserNumber, u.m_sName.c_str());
    m_ui.QueueEdit({{ItemField::kTo, sTo}, {ItemField::kText, Trim(sText)}});
    stEditExtra extra;
    extra.cKind = 'M';
    uint32_t nCode = DB_NONE;
    const eItemResult n = m_db.AddTableItem(TABLE_LOG, DB_NONE, nullptr, true, extra, &nCode);
    Say(n == eItemResult::Done ? StrFormat("OK %u", nCode) : "FAIL message");
  }
  void CmdShort(const std::string& sText) {
    SendShortMessage(m_slot, m_net.Lan().Identity().m_sComputerName, sText);
    Say("OK");
  }
  void CmdShorts(const std::string&) {
    const std::vector<std::string> saTexts =
        TakeShortMessages(m_slot, m_net.Lan().Identity().m_sComputerName);
    for (const auto& s : saTexts) Say("short " + s);
    Say(StrFormat("OK %zu", saTexts.size()));
  }
  void CmdPending(const std::string&) {
    for (uint32_t n : m_db.m_naPendingMessages) Say(StrFormat("pending %u", n));
    Say(StrFormat("OK %zu", m_db.m_naPendingMessages.size()));
  }
  void CmdSleep(const std::string& sArgs) {
    long long nMillis = 0;
    if (!ParseInt(sArgs, nMillis) || nMillis < 0) return Say("FAIL usage: sleep MILLISECONDS");
    const auto end = Clock::now() + std::chrono::milliseconds(nMillis);
    WaitFor([&] { return Clock::now() >= end; }, int(nMillis / 1000) + 1);
    Say("OK");
  }
  // Holds the database lock for a while (other copies wait for it); "HELD"
  // once it is taken.
  void CmdHoldDatabase(const std::string& sArgs) {
    long long nMillis = 0;
    if (!ParseInt(sArgs, nMillis) || nMillis < 0) return Say("FAIL usage: holddb MILLISECONDS");
    if (!m_db.LockDatabase("hold database")) return Say("FAIL holddb");
    Say("HELD");
    const auto end = Clock::now() + std::chrono::milliseconds(nMillis);
    WaitFor([&] { return Clock::now() >= end; }, int(nMillis / 1000) + 1);
    m_db.UnlockDatabase();
    Say("OK");
  }
  // The alarms this copy's user would get at a time ("%m/%d/%Y %H:%M:%S",
  // now without one): "alarm CODE|- TEXT" per entry, then "done CODE DATE
  // DESCRIPTION" per alarmed item; the reply says whether the box opens.
  void CmdAlarms(const std::string& sArgs) {
    double dNow = GetCurrentTimeMillisec();
    if (!sArgs.empty() && !ParseDateTimeText(sArgs, dNow)) return Say("FAIL usage: alarms [MM/DD/YYYY HH:MM:SS]");
    CAlarmList list;
    list.Build(CAlarmSwitches(), &m_db, uint32_t(m_db.m_nUserNumber), m_db.GetVarData().m_nAlarmWindow, dNow);
    for (const stAlarm& a : list.Alarms())
      Say(StrFormat("alarm %s %s", a.nItemCode == DB_NONE ? "-" : std::to_string(a.nItemCode).c_str(),
                    a.sText.c_str()));
    for (const auto& e : m_db.m_caScheduleIndex) {
      const auto& item = static_cast<const CScheduleRecord&>(*e.m_pItem);
      if (item.m_nAlarmEnabled)
        Say(StrFormat("done %u %s %s", item.m_nCode,
                      item.m_dAlarmDone > 0.0 ? FormatDateTime(item.m_dAlarmDone, "%m/%d/%Y %H:%M:%S").c_str()
                                              : "never",
                      item.m_sDescription.c_str()));
    }
    Say(StrFormat("OK %zu %s", list.Alarms().size(), list.Fires(dNow) ? "fires" : "waits"));
  }
  // The lines of the event log view, in the notes mode with "notes".
  void CmdLogView(const std::string& sArgs) {
    CLogView view(&m_db);
    view.SetMode(sArgs == "notes" ? LOG_NOTES : LOG_NORMAL);
    view.EnterView();
    char cStatus = 0;
    for (int i = -1; i < view.MaxLines(); ++i) Say("line " + OneLine(view.GetLine(i, HINT_PAINT, cStatus).m_sText));
    Say(StrFormat("OK %d", view.MaxLines()));
  }
  // The record dump view's commands, on the record at a file location:
  //   record LOC delete|undelete|show|byte OFFSET VALUE, record unlockall
  // (OFFSET 0 to 35 is a header byte, 36 and on a byte of the data block).
  void CmdRecord(const std::string& sArgs) {
    std::istringstream in(sArgs);
    std::string sWhat, sOffset, sValue;
    in >> sWhat;
    CDatabaseView view(&m_db);
    view.EnterView();
    if (sWhat == "unlockall") return Say(view.UnlockAll() ? "OK" : "FAIL record");
    long long nLoc = -1, nOffset = -1;
    const auto& naLocs = view.Locations();
    const auto it = std::find(naLocs.begin(), naLocs.end(), ParseInt(sWhat, nLoc) ? nLoc : -1);
    if (it == naLocs.end()) return Say("FAIL no record at " + sWhat);
    view.SetHighlight(int(it - naLocs.begin()));
    in >> sWhat >> sOffset >> sValue;
    bool bDone = false;
    if (sWhat == "delete") {
      bDone = view.DeleteRecord();
    } else if (sWhat == "undelete") {
      bDone = view.UndeleteRecord();
    } else if (sWhat == "show") {
      view.ShowHeader();
      bDone = true;
    } else if (sWhat == "byte" && ParseInt(sOffset, nOffset) && nOffset >= 0) {
      view.SetRecordDialog([&](CRecordDumpEdit& record) {
        m_ui.QueueInput(sValue);
        return nOffset < DB_HEADER_LEN ? record.EditHeaderByte(int(nOffset))
                                       : record.EditDataByte(int(nOffset - DB_HEADER_LEN));
      });
      bDone = view.EditRecord();
    } else {
      return Say("FAIL usage: record LOC delete|undelete|show|byte OFFSET VALUE, or record unlockall");
    }
    Say(bDone ? "OK" : "FAIL record");
  }
  // Runs the timer's network work (the mail slot, a ping to every peer) every
  // 100 ms for a while; the longest time between two ticks, in milliseconds.
  void CmdTickGap(const std::string& sArgs) {
    long long nMillis = 0;
    if (!ParseInt(sArgs, nMillis) || nMillis < 0) return Say("FAIL usage: tickgap MILLISECONDS");
    const auto end = Clock::now() + std::chrono::milliseconds(nMillis);
    auto last = Clock::now();
    long long nMaxGap = 0;
    while (Clock::now() < end) {
      const auto now = Clock::now();
      nMaxGap = std::max<long long>(nMaxGap, std::chrono::duration_cast<std::chrono::milliseconds>(now - last).count());
      last = now;
      TakeShortMessages(m_slot, m_net.Lan().Identity().m_sComputerName);
      if (m_net.Lan().Server()) m_net.Lan().Server()->Broadcast(TEST_PING);
      Pump();
      poll(nullptr, 0, 100);
    }
    Say(StrFormat("OK maxgap=%lld", nMaxGap));
  }
  void CmdPing(const std::string&) {
    if (m_net.Lan().Server()) m_net.Lan().Server()->Broadcast(TEST_PING);
    Say("OK");
  }

  // Random adds, edits and deletes of persons and schedule items. Edits
  // append a token "NAME:SEED-n" to a shared person's comments, so a lost
  // update shows as a missing token; deletes touch only this copy's own
  // items. With ACKLOG every operation is logged there as "try ..." before
  // it and "ok ..." or "fail" after it, so a driver that kills the copy knows
  // what was acknowledged.
  void CmdStress(const std::string& sArgs) {
    std::istringstream in(sArgs);
    long long nCount = 0, nSeed = 0;
    std::string sCount, sSeed, sAckLog;
    in >> sCount >> sSeed >> sAckLog;
    if (!ParseInt(sCount, nCount) || !ParseInt(sSeed, nSeed))
      return Say("FAIL usage: stress COUNT SEED [ACKLOG]");
    if (!sAckLog.empty() &&
        (m_nAckFd = ::open(sAckLog.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600)) < 0)
      return Say("FAIL cannot open " + sAckLog);
    const std::string& sMe = m_net.Lan().Identity().m_sComputerName;
    std::mt19937 gen{uint32_t(nSeed)};
    m_ui.m_bQuiet = true;
    stStressCounts& c = m_stress;
    for (long long i = 0; i < nCount && m_db.IsDatabaseOpen(); ++i) {
      const int nDice = int(gen() % 100);
      const std::string sTag = StrFormat("%s-%lld-%u", sMe.c_str(), nSeed, unsigned(i));
      if (nDice < 20) {
        c.nPersonAdds += AddItem(TABLE_PERSON, {{ItemField::kLastName, "S-" + sTag}}, nullptr);
      } else if (nDice < 35) {
        c.nPersonAdds += AddItem(TABLE_PERSON, {{ItemField::kLastName, "T-" + sTag}}, &m_naOwnTemp);
      } else if (nDice < 45) {
        c.nPersonDeletes += DeleteOwn(TABLE_PERSON, m_naOwnTemp, gen);
      } else if (nDice < 75) {
        c.nEdits += AppendToken(StrFormat("%s:%lld-%d", sMe.c_str(), nSeed, c.nEdits + 1), gen);
      } else if (nDice < 87) {
        c.nScheduleAdds += AddItem(TABLE_SCHEDULE, {{ItemField::kDescription, "D-" + sTag}}, &m_naOwnSchedule);
      } else if (nDice < 95) {
        if (m_naOwnSchedule.empty()) continue;
        const uint32_t nCode = m_naOwnSchedule[gen() % m_naOwnSchedule.size()];
        const std::string sWhat = StrFormat("edit %d %u E-%s", TABLE_SCHEDULE, nCode, sTag.c_str());
        Ack("try " + sWhat);
        const eItemResult n = EditWith(TABLE_SCHEDULE, nCode, [&](stEditForm& form) {
          if (std::string* p = form.Find(ItemField::kDescription)) *p = "E-" + sTag;
        });
        Ack(n == eItemResult::Done ? "ok " + sWhat : "fail");
        (n == eItemResult::Done ? c.nScheduleEdits : c.nRefused) += 1;
      } else {
        c.nScheduleDeletes += DeleteOwn(TABLE_SCHEDULE, m_naOwnSchedule, gen);
      }
    }
    if (m_nAckFd >= 0) ::close(std::exchange(m_nAckFd, -1));
    m_ui.m_bQuiet = false;
    Say(StrFormat("OK person_adds=%d person_deletes=%d edits=%d schedule_adds=%d schedule_edits=%d "
                  "schedule_deletes=%d refused=%d",
                  c.nPersonAdds, c.nPersonDeletes, c.nEdits, c.nScheduleAdds, c.nScheduleEdits,
                  c.nScheduleDeletes, c.nRefused));
  }
  // One line of the acknowledgement log, written at once: a kill right
  // after an operation returns must not lose its line.
  void Ack(const std::string& sLine) {
    if (m_nAckFd < 0) return;
    const std::string s = sLine + "\n";
    if (::write(m_nAckFd, s.data(), s.size()) != ssize_t(s.size())) Say("FAIL ack log");
  }
  int AddItem(uint8_t nTable, std::vector<stEditField> fields, std::vector<uint32_t>* pOwn) {
    const std::string sTag = fields.front().sValue;
    Ack(StrFormat("try add %d - %s", nTable, sTag.c_str()));
    m_ui.QueueEdit(std::move(fields));
    uint32_t nCode = DB_NONE;
    if (m_db.AddTableItem(nTable, DB_NONE, nullptr, true, {}, &nCode) != eItemResult::Done)
      return Ack("fail"), ++m_stress.nRefused, 0;
    Ack(StrFormat("ok add %d %u %s", nTable, nCode, sTag.c_str()));
    if (pOwn) pOwn->push_back(nCode);
    return 1;
  }
  int DeleteOwn(uint8_t nTable, std::vector<uint32_t>& naOwn, std::mt19937& gen) {
    if (naOwn.empty()) return 0;
    const size_t nPick = gen() % naOwn.size();
    const std::string sWhat = StrFormat("delete %d %u", nTable, naOwn[nPick]);
    Ack("try " + sWhat);
    if (m_db.DeleteTableItem(nTable, naOwn[nPick], false) != eItemResult::Done)
      return Ack("fail"), ++m_stress.nRefused, 0;
    Ack("ok " + sWhat);
    naOwn.erase(naOwn.begin() + long(nPick));
    return 1;
  }
  int AppendToken(const std::string& sToken, std::mt19937& gen) {
    const std::vector<uint32_t> naShared = SharedPersonCodes();
    if (naShared.empty()) return 0;
    const uint32_t nCode = naShared[gen() % naShared.size()];
    const std::string sWhat = StrFormat("edit %d %u %s", TABLE_PERSON, nCode, sToken.c_str());
    Ack("try " + sWhat);
    const eItemResult n = EditWith(TABLE_PERSON, nCode, [&](stEditForm& form) {
      std::string* pComments = form.Find(ItemField::kComments);
      if (pComments) *pComments += (pComments->empty() ? "" : "\n") + sToken;
    });
    Ack(n == eItemResult::Done ? "ok " + sWhat : "fail");
    if (n != eItemResult::Done) ++m_stress.nRefused;
    return n == eItemResult::Done ? 1 : 0;
  }
  // An edit whose dialog is answered by fn; a refused edit (the record or
  // the database was locked) opens no dialog and leaves no answer behind.
  eItemResult EditWith(uint8_t nTable, uint32_t nCode, std::function<void(stEditForm&)> fn) {
    m_ui.m_fnFormAnswer = std::move(fn);
    const eItemResult n = m_db.EditTableItem(nTable, nCode);
    m_ui.m_fnFormAnswer = nullptr;
    return n;
  }
  // Codes of the persons every copy edits (last names that begin with "S-").
  std::vector<uint32_t> SharedPersonCodes() const {
    std::vector<uint32_t> naCodes;
    for (const auto& e : m_db.m_caPersonIndex)
      if (static_cast<const CPerson&>(*e.m_pItem).m_sLastName.rfind("S-", 0) == 0)
        naCodes.push_back(e.m_nCode);
    return naCodes;
  }
  // Tokens per copy in the persons' comments, and codes that occur twice.
  void CmdTokens(const std::string&) {
    std::map<std::string, int> counts;
    int nDuplicates = 0;
    for (uint8_t nTable : {TABLE_PERSON, TABLE_SCHEDULE, TABLE_LOG}) {
      std::map<uint32_t, int> codes;
      for (const auto& e : *m_db.PtrToIndexArray(nTable)) nDuplicates += codes[e.m_nCode]++ ? 1 : 0;
    }
    for (const auto& e : m_db.m_caPersonIndex)
      for (const auto& sLine : static_cast<const CPerson&>(*e.m_pItem).m_saComments)
        ++counts[sLine.substr(0, sLine.find(':'))];
    for (const auto& [sName, n] : counts) Say(StrFormat("tokens %s %d", sName.c_str(), n));
    Say(StrFormat("OK duplicates=%d", nDuplicates));
  }

  CSessionUi m_ui;
  CSessionFrame m_frame;
  CQueuedPoster m_poster;
  CTableManager m_db;
  CLanDatabaseNetwork m_net;
  CMailSlot m_slot;
  std::map<std::pair<int, uint32_t>, uint32_t> m_locks;
  stStressCounts m_stress;
  int m_nAckFd = -1;
  std::vector<uint32_t> m_naOwnTemp, m_naOwnSchedule;
  bool m_bCloseRequested = false;
  bool m_bMessagesMissed = false;
  int m_nPumpDepth = 0;
};

const CToolCommand kSession(
    "session", "session FILE [--answers A,B] [--local]  a networked copy driven by commands on stdin",
    [](const std::vector<std::string>& args) -> int {
      std::string sFile, sAnswers;
      bool bLocal = false;
      for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--answers" && i + 1 < args.size())
          sAnswers = args[++i];
        else if (args[i] == "--local")
          bLocal = true;
        else if (sFile.empty())
          sFile = args[i];
        else
          return ToolError("usage: kelvotool session FILE [--answers A,B] [--local]");
      }
      if (sFile.empty()) return ToolError("usage: kelvotool session FILE [--answers A,B] [--local]");
      CConfigFile::ReadFile(ProgramFile("Kelvo.cfg"), AppSettings());
      SetDiagnosticLevel(AppSettings().nDiagnostic);
      if (DiagOn()) OpenDiagnosticFile();
      CSession session;
      session.QueueAnswers(sAnswers);
      const int nOpen = session.Open(sFile, !bLocal && !AppSettings().nNetworkDisable);
      return nOpen == TOOL_OK ? session.Run() : nOpen;
    });

}  // namespace
