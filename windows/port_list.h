// The serial ports this PC has now, as the system lists them under
// HKEY_LOCAL_MACHINE\HARDWARE\DEVICEMAP\SERIALCOMM: a value per port, named
// by its device ("\Device\Serial0", "\Device\VCP0" for a USB adapter), with
// the port's name ("COM7") as its text.
#pragma once

#include <string>
#include <vector>

namespace zvp::win {

struct PresentPort {
  int number = 0;      // n of COMn
  std::string device;  // the device behind it, as the system names it
};

// By port number; entries whose text names no COMn are left out. Empty when
// the list cannot be read.
std::vector<PresentPort> PresentSerialPorts();

}  // namespace zvp::win
