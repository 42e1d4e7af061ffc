#pragma once

#include <QList>
#include <QSet>
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
// A port as the terminal's list offers it.
struct ComPortChoice {
    QString name;
    bool held = false;  // another program (or the other terminal) has it open
    bool operator==(const ComPortChoice&) const = default;
};
// COM1..COM256 whose link leads to a device, in number order; those named in `held` are marked.
// Nothing is opened: whether a virtual port is held is the port service's to say.
QList<ComPortChoice> ScanComPorts(const QSet<QString>& held);
