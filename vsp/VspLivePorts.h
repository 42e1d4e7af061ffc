#pragma once

#include <QString>
#include <QStringList>
#include <array>
#include <cstdint>
#include <optional>
#include <set>
#include <vector>

#include "ui/Rgb.h"
#include "vsp/VspDatFile.h"
#include "vspd/DriverRequests.h"

struct VspInterface;

// Where a port's network side stands, as the list shows it.
enum class VspLink { kIdle, kConnecting, kConnected, kServer, kDisconnecting };

inline constexpr Rgb kVspIdleBack{255, 255, 255};
inline constexpr Rgb kVspConnectedBack{200, 255, 200};
inline constexpr Rgb kVspDisconnectingBack{255, 200, 200};

namespace vspword {
inline const QString kIdle = QStringLiteral("Idle");
inline const QString kConnecting = QStringLiteral("Connecting...");
inline const QString kConnected = QStringLiteral("Connected");
inline const QString kServer = QStringLiteral("Server");
inline const QString kDisconnecting = QStringLiteral("Disconnecting");
// An idle port that another program holds.
inline const QString kHeld = QStringLiteral("In use");
}  // namespace vspword

QString StatusWord(VspLink link);
Rgb StatusBack(VspLink link);

// One row of the port list: Port ID, Port Name, Status, Remote IP, Remote Port, and the
// service's counters: bytes to and from the network, bytes it discarded.
struct VspRow {
    static constexpr int kColumnCount = 8;
    static constexpr int kPortIdColumn = 0;
    static constexpr int kNameColumn = 1;
    static constexpr int kStatusColumn = 2;
    static constexpr int kRemoteIpColumn = 3;
    static constexpr int kRemotePortColumn = 4;
    static constexpr int kBytesOutColumn = 5;
    static constexpr int kBytesInColumn = 6;
    static constexpr int kDiscardedColumn = 7;
    std::array<QString, kColumnCount> cells;
    Rgb back = kVspIdleBack;
    bool operator==(const VspRow&) const = default;
};

// One virtual port, keyed by its COM name: its configuration and state as the service last
// reported them, and what the program adds (a silent device, an attempt under way).
struct VspPort {
    QString name;
    QString devicePath;            // the service's device path, as the last list gave it
    int portId = 0;                // its position in the service's list, shown only
    vspd::RemoteInfoReply config;  // what the service keeps for the port
    VspLink link = VspLink::kIdle;
    uint32_t peerIp = 0;  // the device the port is linked to, host order; 0 when unknown
    uint16_t peerPort = 0;
    bool held = false;        // another program has the port open
    bool silent = false;      // connected, but the device stopped answering the probes
    bool attempting = false;  // the program waits for a connection attempt on the port
    uint64_t bytesToNet = 0;
    uint64_t bytesFromNet = 0;
    uint64_t dropped = 0;  // bytes the service discarded, both ways

    bool Client() const { return config.mode != 0; }
    // Linked to a device as a client: its peer is probed and blocks a second link to it.
    bool LinkedAsClient() const;
    VspRow Row() const;
    // The text of the port's item in the navigation tree: the name, and in parentheses the
    // peer of a client link, "Server" or the attempt under way.
    QString ItemText() const;
    // The port as vsp.dat keeps it: a client port that the user means to be connected is
    // saved "Connected" whatever its link is now.
    VspPortRecord Record(bool meantConnected) const;
    bool operator==(const VspPort&) const = default;
};

// The live port list: the virtual ports as the service last listed them, in its order, with
// what the program adds. Every lookup is by name; a row number is only the place where the
// view shows a port.
class VspLivePorts {
  public:
    int Count() const { return int(ports_.size()); }
    const VspPort& At(int row) const { return ports_.at(size_t(row)); }
    const std::vector<VspPort>& All() const { return ports_; }
    VspPort* Find(const QString& name);
    const VspPort* Find(const QString& name) const;
    int RowOf(const QString& name) const;
    // The first port other than `except` that is linked to the address as a client.
    const VspPort* LinkedTo(uint32_t address, const QString& except = {}) const;

    // Takes the service's list. A port keeps its attempt under way, and its silence while the
    // service still reports it connected. Returns the names that became connected and those
    // that stopped being connected.
    struct Changes {
        QStringList connected;
        QStringList disconnected;
    };
    Changes Take(const std::vector<VspInterface>& list);
    void Clear() { ports_.clear(); }
    void SetAttempting(const QString& name, bool on);
    void SetSilent(const QString& name, bool on);

    QStringList ItemTexts() const;
    std::vector<VspPortRecord> Records(const std::set<QString>& meantConnected) const;

  private:
    std::vector<VspPort> ports_;
};
