#include "LinkState.h"

#include "link/SerialLink.h"

bool LinkIsOpen(const CSerialLink& link) { return link.IsOpen(); }
