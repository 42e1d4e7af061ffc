#pragma once

#include <QString>
#include <QStringList>

// COM names map to devices through the COM directory: COMn is a link to the tty device.
inline constexpr int kFirstComNumber = 1;
inline constexpr int kLastComNumber = 256;

// $VELTRO_COM_DIR, else the runtime folder the virtual serial port service uses.
QString ComDirectory();
// The number of COM1..COM256, or 0 for any other name.
int ComNumber(const QString& name);
// The path behind a COM name, or empty when the name is not COM1..COM256.
QString ComDevicePath(const QString& name);
// True when the port's device is a pseudo-terminal, as every virtual port is.
bool IsPseudoTerminalPort(const QString& name);
// COM1..COM256 that can be opened exclusively now, in number order.
QStringList ScanComPorts();
