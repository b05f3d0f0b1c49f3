#pragma once
// The serial link of an engine's owner (tavrel-cli, the tests, the benches),
// set up from the communication settings of App().
#include <memory>
#include <string>

#include "link/SerialLink.h"

using SerialLinkPtr = std::unique_ptr<CSerialLink>;
SerialLinkPtr CreateConfiguredLink();
// Opens this device instead of the mapped "COMn" (tavrel-cli --port PATH).
inline void LinkSetDevicePath(CSerialLink& link, const std::string& path) { link.SetDevicePath(path); }
