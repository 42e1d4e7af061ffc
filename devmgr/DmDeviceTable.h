#pragma once

#include <QString>
#include <array>
#include <optional>
#include <vector>

#include "devcfg/DeviceConfigRecord.h"
#include "ui/Rgb.h"

inline constexpr Rgb kDmNewRowBack{232, 192, 192};
inline constexpr Rgb kDmConnectedBack{220, 220, 220};
inline constexpr Rgb kDmSetupDoneText{0, 176, 0};

// The device list of the device manager: one row per listed device, each row holding the
// device's stored reply together with its texts, colours and check box, so that a row and its
// stored reply can never refer to different devices.
class DmDeviceTable {
  public:
    // Room for this many devices; replies from further new devices are not listed.
    static constexpr int kCapacity = 256;
    static constexpr int kColumnCount = 9;
    enum Column {
        kCheckColumn = 0,
        kNumberColumn,
        kNameColumn,
        kMacColumn,
        kDhcpColumn,
        kIpColumn,
        kPortColumn,
        kModeColumn,
        kStatusColumn,
    };

    struct Row {
        DeviceConfigRecord record;
        std::array<QString, kColumnCount> cells;
        Rgb back = kDmNewRowBack;
        std::optional<Rgb> text;  // none: the list's default text colour
        bool checked = false;
    };

    DmDeviceTable() { rows_.reserve(kCapacity); }

    void Clear() { rows_.clear(); }
    int Count() const { return static_cast<int>(rows_.size()); }
    bool IsFull() const { return Count() >= kCapacity; }
    bool Contains(int row) const { return row >= 0 && row < Count(); }
    const Row& At(int row) const { return rows_[static_cast<size_t>(row)]; }
    const DeviceConfigRecord& Record(int row) const { return At(row).record; }
    QString CellText(int row, int column) const;
    QString IpText(int row) const { return CellText(row, kIpColumn); }

    // Lists a search reply: the new row's index, or nullopt when the MAC address is listed
    // already or the table is full.
    std::optional<int> AddSearchReply(const DeviceConfigRecord& reply);
    // A setup reply replaces the row's stored reply and texts and shows it as set up.
    void ApplySetupReply(int row, const DeviceConfigRecord& reply);
    // The status column as the virtual serial port view keeps it: "Connected" and "Idle" also
    // give the row its background.
    void SetStatusText(int row, const QString& text);

    bool SetChecked(int row, bool checked);
    bool IsChecked(int row) const { return Contains(row) && At(row).checked; }
    std::vector<int> CheckedRows() const;
    // The first row whose IP column reads exactly `ip`, or -1.
    int FindRowByIp(const QString& ip) const;
    // The row of the device with this MAC address, or -1.
    int FindRowByMac(const std::array<uint8_t, devrec::kMacSize>& mac) const;
    bool HasMac(const std::array<uint8_t, devrec::kMacSize>& mac) const;

    // The port the list shows: the destination port in client mode, else the listening port.
    static uint16_t ShownPort(const DeviceConfigRecord& record);
    // "%02X-%02X-%02X-%02x-%02x-%02X".
    static QString MacText(const DeviceConfigRecord& record);

  private:
    void FillCells(int row, uint8_t nameSkip);
    std::vector<Row> rows_;
};
