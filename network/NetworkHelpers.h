#pragma once
// Platform helpers of the multi-user layer: who this copy is on the network
// (computer name, address, adapters), which computer holds a database file
// (from the mount table), the computer list file, the LAN port rule and the
// socket error texts.

#include <netinet/in.h>

#include <cstdint>
#include <string>
#include <vector>

// One IPv4 network interface.
struct stAdapter {
  std::string sName;         // interface name
  std::string sDescription;  // the interface name as well: Linux has no other description
  std::vector<std::string> saAddresses;
  std::vector<std::string> saNetmasks;  // parallel to saAddresses
};

// The operating system's computer name in upper case ($KELVO_COMPUTERNAME
// overrides it); "unknown" when it cannot be read.
std::string GetThisComputerName();

// Host name (the computer name, so every list names a copy the same way) and
// this computer's first IPv4 address "%d.%d.%d.%d" ($KELVO_HOSTADDRESS
// overrides it; 127.0.0.1 without an up, non-loopback interface). Returns 1.
int GetThisComputerInfo(std::string& sHostName, std::string& sAddress);

// The IPv4 interfaces, in the order the system lists them.
std::vector<stAdapter> GetAdapters();

// Chooses the listening address: none found, exactly one, or a list for the user.
std::string SelectAdapter(const std::string& sText);

// True when the two dotted addresses lie in one subnet of an interface of this
// computer (the interface whose network holds sLocal; /24 when none does).
bool IsSameSubnet(const std::string& sLocal, const std::string& sOther);

// A computer name as a peer may announce it: 1 to 15 characters, upper-case
// letters, digits and the punctuation computer names allow; never ":", "~",
// a slash, a backslash or white space, which would break the list file and
// the messages.
bool IsComputerName(const std::string& sName);

// Dotted IPv4 text that converts to an address and back to the same text.
bool IsDottedAddress(const std::string& sText);

// First IPv4 address of a name, dotted; empty when it cannot be resolved. The
// error code (Winsock numbering) is stored when pCode is given.
std::string ResolveName(const std::string& sName, int* pCode = nullptr);

// The text before the first ":" is the name, the text after it the address.
void SplitComputerNameAndAddress(const std::string& sLine, std::string& sName,
                                 std::string& sAddress);

// The computer list file "Kelvo.usr" in the program folder.
std::string ComputerListPath();

// Reads the computer list: lines up to 511 characters, trailing white space
// removed, names upper-cased, empty lines skipped. False when the file is missing.
bool ReadComputerList(const std::string& sPath, std::vector<std::string>& saLines);
bool WriteComputerList(const std::string& sPath, const std::vector<std::string>& saLines);

// The computer list without this computer (by name or by address) and with
// each name once (its first line). When the
// file is missing it is built from the hosts of the network mounts and written
// with this computer's name added. Returns this computer's name.
std::string GetNetWorkComputers(std::vector<std::string>& saComputers,
                                const std::string& sListPath, const std::string& sThisName,
                                const std::string& sThisAddress);

// The computer that holds a database file: a "//HOST/..." or "\\HOST\..." path
// gives HOST, a file on a cifs or nfs mount the mount's host, any other file
// this computer (sThisComputer). Empty for a name of one character or less.
std::string GetComputerFromFileName(const std::string& sFileName,
                                    const std::string& sThisComputer = GetThisComputerName());

// A host text as a computer name: a dotted address names the computer of the
// computer-list line with that address; otherwise the first DNS label, upper case.
std::string ComputerNameFromHost(const std::string& sHost);

// The mount that holds a path, from /proc/self/mountinfo ($KELVO_MOUNTINFO overrides).
struct stMountEntry {
  std::string sMountPoint;
  std::string sFsType;
  std::string sSource;
  std::string sOptions;  // mount and super-block options, comma-separated
};
bool FindMountOfPath(const std::string& sPath, stMountEntry& mount);
// Every mount of the mount table, in its order.
std::vector<stMountEntry> ReadMountTable();

// True on a network mount whose byte-range locks stay on this computer
// (nfs "nolock" or "local_lock=...", cifs "nobrl"): sharing there is unsafe.
bool HasLocalOnlyLocks(const stMountEntry& mount);

// The hosts of the cifs and nfs mounts of the mount table, as computer names.
std::vector<std::string> GetNetworkMountHosts();

// The TCP (and mail slot UDP) port of a name: GetCRC cut to 16 bits, 1024
// added when that falls below 1024 so that copies run without privileges.
uint16_t PortFromName(const std::string& sName);

// Winsock numbering of an errno value (ECONNREFUSED is 10061 and so on) and of
// a getaddrinfo failure; unknown values pass through unchanged.
int WsaCodeFromErrno(int nErrno);
int WsaCodeFromGai(int nGaiError);
// "Error %i:%s" for a Winsock-numbered code, and for the calling thread's errno.
std::string WsaErrorText(int nCode);
std::string WsaErrorMessage();

// An IPv4 socket address of a dotted address and a port; an empty address
// is any address. False when the text is no dotted address.
bool FillAddress(const std::string& sAddress, uint16_t nPort, sockaddr_in& addr);
