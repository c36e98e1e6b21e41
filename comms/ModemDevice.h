#pragma once
// Which serial device the dialer talks to. Only devices that name modems
// are offered: the stable names under /dev/serial/by-id and the USB modem
// devices ttyACM* and ttyUSB*. Other serial ports are never opened to find
// out what they are, because probing a device sends it bytes.

#include <string>
#include <vector>

#include "support/CConfigFile.h"

// The modems found under sDevFolder: the by-id names first, then the
// ttyACM* and ttyUSB* devices that no by-id name stands for, each group in
// name order.
std::vector<std::string> ListModemDevices(const std::string& sDevFolder = "/dev");

// The device to use: $KELVO_MODEM when set (tests use a pseudo-terminal),
// else the configured path, else the first modem found. An empty path when
// there is none; speed and init come from the configuration.
stPhoneDevice ChooseModemDevice(const stPhoneDevice& configured, const std::vector<std::string>& saFound);

// Where the UUCP lock files go: $KELVO_LOCKDIR when set, else /var/lock.
std::string ModemLockFolder();
