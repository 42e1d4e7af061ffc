#pragma once

#include <QByteArray>
#include <QString>
#include <array>
#include <cstdint>
#include <vector>

#include "platform/UserPrompts.h"

// One virtual COM port as the port view lists it and vsp.dat stores it.
struct VspPortRecord {
    QString portId;  // zero-based position among the system's COM-port interfaces
    QString portName;
    uint32_t remoteIp = 0;  // host order
    uint16_t remotePort = 0;
    uint8_t protocol = 0;  // 0 TCP, 1 UDP
    int32_t connectAtStart = 0;
    QString status;  // "Idle", "Connected", "Server" or "Disconnecting"
    int32_t clientMode = 0;
    int32_t enableVcom = 0;
    uint32_t maxPacketSize = 0;
    QString treeName;
    QString remoteIpText;    // dotted, empty or "#"
    QString remotePortText;  // decimal, empty or "#"

    bool operator==(const VspPortRecord&) const = default;
};

inline constexpr int kVspMaxPorts = 256;
inline constexpr qsizetype kVspFileMaxBytes = 25600;
inline constexpr char kVspFileName[] = "vsp.dat";
inline constexpr char kVspSaveFailedText[] = "Failed to save Virtual Serial Port setting data!";

// The text of vsp.dat: the count line, then one line per record.
QByteArray EncodeVspFile(const VspPortRecord* records, int count);

struct VspFileContents {
    int32_t announced = 0;               // the count line's value
    std::vector<VspPortRecord> records;  // the complete records, at most kVspMaxPorts
};
// Reads at most kVspFileMaxBytes; records after the announced count, past the table or cut
// short are dropped.
VspFileContents DecodeVspFile(QByteArrayView bytes);

// vsp.dat: the saved ports, read once at start-up and written whole.
class CVspDatFile {
  public:
    const VspPortRecord& Record(int index) const { return records_.at(static_cast<size_t>(index)); }

    uint32_t PortCount() const { return portCount_; }
    bool TableLoaded() const { return tableLoaded_; }

    // Silent on every failure: the table then keeps no records.
    void Load(const QString& path = QString::fromLatin1(kVspFileName));
    // Writes the records (the port list's rows, at most a table's worth) in one piece; on
    // failure tells the user and leaves the old file as it was.
    static bool Save(const std::vector<VspPortRecord>& records, UserPrompts& prompts,
                     const QString& path = QString::fromLatin1(kVspFileName));

  private:
    std::array<VspPortRecord, kVspMaxPorts> records_{};
    uint32_t portCount_ = 0;
    bool tableLoaded_ = false;
};
