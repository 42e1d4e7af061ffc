#include "devcfg/widgets/CDlgDmSetupSerial.h"

#include <QGridLayout>

#include "devcfg/widgets/PageControls.h"

CDlgDmSetupSerial::CDlgDmSetupSerial(DeviceSetupValues& values, QWidget* parent)
    : SetupPage(values, parent) {
    setObjectName("serialPage");
    auto* grid = new QGridLayout(this);
    baudRate_ = MakeList(NumberEntries(lists::baudRate), this, "baudRate");
    dataBits_ = MakeList(NumberEntries(lists::dataBits), this, "dataBits");
    parity_ = MakeList({"None", "Odd", "Even"}, this, "parity");
    stopBits_ = MakeList(NumberEntries(lists::stopBits), this, "stopBits");
    flowControl_ = MakeList({"None", "RTS + CTS"}, this, "flowControl");
    AddRow(grid, "Baud Rate", baudRate_);
    AddRow(grid, "Data Bits", dataBits_);
    AddRow(grid, "Parity", parity_);
    AddRow(grid, "Stop Bits", stopBits_);
    AddRow(grid, "Flow Control", flowControl_);
    grid->setRowStretch(grid->rowCount(), 1);
    grid->setColumnStretch(2, 1);
}

void CDlgDmSetupSerial::RefreshControls() {
    SelectPosition(baudRate_, v_.baudRate);
    SelectPosition(dataBits_, v_.dataBits);
    SelectPosition(parity_, v_.parity);
    SelectPosition(stopBits_, v_.stopBits);
    SelectPosition(flowControl_, v_.flowControl);
}

QList<const LimitedLineEdit*> CDlgDmSetupSerial::ReadControls() {
    v_.baudRate = Position(baudRate_);
    v_.dataBits = Position(dataBits_);
    v_.parity = Position(parity_);
    v_.stopBits = Position(stopBits_);
    v_.flowControl = Position(flowControl_);
    return {};
}
