#pragma once
// What the user list dialog ("User list") shows and does: the lock manager,
// the computers on and off line, this copy's address and port, and the
// buttons that reset or edit the computer list, show the adapters and change
// the address or the port. The dialog window itself only draws these texts
// and calls these actions.

#include <string>
#include <vector>

#include "network/LanSettings.h"

class CLanLogOn;

class CUserListModel {
 public:
  // pLan is the open database's log-on, or none ("File sharing off").
  explicit CUserListModel(CLanLogOn* pLan);

  std::string HeaderText() const;
  std::vector<std::string> ListLines() const;
  std::string AddressText() const;
  std::string PortText() const;

  // "Reset computer list": refused while others are on line. 1 done.
  int ResetComputerList();
  // "Edit computer list": the file's lines as text, and the edited text back.
  std::string ComputerListText() const;
  int SaveComputerListText(const std::string& sText);
  // "Network adapters": the text of the "IP Address list" window.
  std::string AdapterListText() const;
  // "Change address for local computer" and "Change port". 1 changed.
  int ChangeAddress();
  int ChangePort();

 private:
  int UsersOnLine() const;
  const stLanIdentity& Identity() const;
  // After a change with a server running: log on again.
  void Restart();
  int ChangeSetting(const std::string& sRefusal, const std::string& sPrompt, bool bPort);

  CLanLogOn* m_pLan;
  stLanIdentity m_identity;  // without an open database
};
