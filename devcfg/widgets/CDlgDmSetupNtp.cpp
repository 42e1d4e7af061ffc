#include "devcfg/widgets/CDlgDmSetupNtp.h"

#include <QGridLayout>

#include "devcfg/widgets/PageControls.h"

namespace {

// Positions 0-24: GMT-12 to GMT+12.
const QStringList kTimeZones{
    "GMT-12.0  (Eniwetok, Kwajalein)",
    "GMT-11.0  (Midway Is., Samoa)",
    "GMT-10.0  (Hawaii)",
    "GMT-09.0  (Alaska)",
    "GMT-08.0  (LosAngeles, Tijuana)",
    "GMT-07.0  (Denver Arizona)",
    "GMT-06.0  (Chicago, Mexico City)",
    "GMT-05.0  (New York, Bogota)",
    "GMT-04.0  (Santiago)",
    "GMT-03.0  (Brasilia, Montevideo)",
    "GMT-02.0  (Fernabdo de Noronha)",
    "GMT-01.0  (Azores)",
    "GMT+00.0 (Lisbon, London)",
    "GMT+01.0 (Berlin, Paris)",
    "GMT+02.0 (Helsinki, Cairo)",
    "GMT+03.0 (Moscow, Nairobi)",
    "GMT+04.0 (Abu Dhabi, Baku)",
    "GMT+05.0 (Karachi, Islamabad)",
    "GMT+06.0 (Almaty, Dhaka)",
    "GMT+07.0 (Bangkok, Jakarta)",
    "GMT+08.0 (Hong Kong, Singapore)",
    "GMT+09.0 (Seoul, Tokyo)",
    "GMT+10.0 (Melbourne, Sydney)",
    "GMT+11.0 (Solomon Is.)",
    "GMT+12.0 (Fiji, Wellington)",
};

// No limit: the record takes the first 36 characters.
LimitedLineEdit* Server(const char* name, QWidget* parent) {
    return MakeNamed<LimitedLineEdit>(name, 0, parent);
}

}  // namespace

CDlgDmSetupNtp::CDlgDmSetupNtp(DeviceSetupValues& values, QWidget* parent)
    : SetupPage(values, parent) {
    setObjectName("ntpPage");
    auto* grid = new QGridLayout(this);
    server1_ = Server("ntpServer1", this);
    server2_ = Server("ntpServer2", this);
    server3_ = Server("ntpServer3", this);
    timeZone_ = MakeList(kTimeZones, this, "timeZone");
    rtcSetup_ = MakeList({"Manual", "NTP Server"}, this, "rtcSetup");
    daylightSaving_ = MakeList(kDisableEnable, this, "daylightSaving");
    AddRow(grid, "NTP Server 1", server1_);
    AddRow(grid, "NTP Server 2", server2_);
    AddRow(grid, "NTP Server 3", server3_);
    AddRow(grid, "Time Zone", timeZone_);
    AddRow(grid, "RTC Time Setup", rtcSetup_);
    AddRow(grid, "Daylight Saving Time", daylightSaving_);
    grid->setRowStretch(grid->rowCount(), 1);
}

void CDlgDmSetupNtp::RefreshControls() {
    server1_->SetWholeText(v_.ntpServer1);
    server2_->SetWholeText(v_.ntpServer2);
    server3_->SetWholeText(v_.ntpServer3);
    SelectPosition(timeZone_, v_.timeZone);
    SelectPosition(rtcSetup_, v_.rtcSetup);
    SelectPosition(daylightSaving_, v_.daylightSaving);
}

QList<const LimitedLineEdit*> CDlgDmSetupNtp::ReadControls() {
    QList<const LimitedLineEdit*> overLong;
    v_.ntpServer1 = ReadText(server1_, overLong);
    v_.ntpServer2 = ReadText(server2_, overLong);
    v_.ntpServer3 = ReadText(server3_, overLong);
    v_.timeZone = Position(timeZone_);
    v_.rtcSetup = Position(rtcSetup_);
    v_.daylightSaving = Position(daylightSaving_);
    return overLong;
}

void CDlgDmSetupNtp::ShowLoadedLine(int line) {
    switch (line) {
        case 67:
            SelectPosition(timeZone_, v_.timeZone);
            break;
        case 68:
            SelectPosition(rtcSetup_, v_.rtcSetup);
            break;
        case 69:
            SelectPosition(daylightSaving_, v_.daylightSaving);
            break;
        default:
            break;
    }
}
