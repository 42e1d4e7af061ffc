#pragma once

#include <QString>
#include <array>

#include "monitor/MonitorFrame.h"
#include "ui/Rgb.h"

struct StatusReply;

// Filled in or answered, and timed out.
inline constexpr Rgb kMonitorNormalBack{215, 215, 230};
inline constexpr Rgb kMonitorFailBack{230, 230, 215};

// One polled device: the texts of the monitor list's eight columns and the row's background.
struct MonitorRow {
    static constexpr int kColumnCount = 8;
    enum Column {
        kNumberColumn = 0,
        kStatusColumn,
        kNameColumn,
        kIpColumn,
        kModemColumn,
        kVersionColumn,
        kTxColumn,
        kRxColumn,
    };
    static inline const QString kIdle = QStringLiteral("Idle");
    static inline const QString kQuerying = QStringLiteral("Querying");
    static inline const QString kSuccess = QStringLiteral("Success");
    static inline const QString kFail = QStringLiteral("Fail");
    static inline const QString kNoValue = QStringLiteral("---");

    std::array<QString, kColumnCount> cells;
    Rgb back = kMonitorNormalBack;
    QString mac;  // the device's identity; not shown

    // "Idle", with the device's index, name and address.
    static MonitorRow FromDevice(const MonitorDevice& device);

    const QString& Ip() const { return cells[kIpColumn]; }
    void SetStatus(const QString& status) { cells[kStatusColumn] = status; }
    // "Success" and the reply's values: modem byte "%.2X", version, counters "%u".
    void ShowReply(const StatusReply& reply);
    // "Fail" and "---" in the four value columns.
    void ShowFailure();
};
