#pragma once

#include <QByteArray>
#include <QString>
#include <array>
#include <optional>

#include "terminal/TerminalSettings.h"

// The program's own options, kept in VELTRO.dat.
struct AppSettings {
    QString logoFileName = QStringLiteral("VELTRO_Logo");
    QString titleFileName = QStringLiteral("VELTRO_Title");
    int dmSearchPeriod = 10;   // 100 ms units
    int dmRestorePeriod = 15;  // 100 ms units
    int dmRebootPeriod = 15;   // seconds
    int searchAtStart = 0;     // written as 0 or 1
    int upgradeTimer = 10;     // stored only
    int maxPacketSizeSetting = 0;
    int connectionCheck = 0;
    int monitorInterval = 3;  // seconds
    std::array<TerminalSettings, 2> terminal{};
    QString hostAddress = QStringLiteral("0.0.0.0");

    bool operator==(const AppSettings&) const = default;
};

inline constexpr char kSettingsVersion[] = "QMDR_VTM_v1.0.0";
inline constexpr int kSettingsLineCount = 36;

// The 36 lines of VELTRO.dat: value padded to 20 characters, then the numbered comment.
QByteArray EncodeSettingsFile(const AppSettings& settings);
// nullopt when the first line is not the current format version. Lines missing at the end
// keep their defaults.
std::optional<AppSettings> DecodeSettingsFile(QByteArrayView text);
