#pragma once
// Whether the serial link is open, for code that cannot include the link's
// header beside the model's (both declare an OpenResult).
class CSerialLink;
bool LinkIsOpen(const CSerialLink& link);
