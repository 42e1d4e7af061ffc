#include "devcfg/widgets/CDlgDmSetupDhcpServer.h"

#include <QGridLayout>

#include "devcfg/widgets/PageControls.h"
#include "ui/widgets/IpAddressEdit.h"

CDlgDmSetupDhcpServer::CDlgDmSetupDhcpServer(DeviceSetupValues& values, QWidget* parent)
    : SetupPage(values, parent) {
    setObjectName("dhcpServerPage");
    auto* grid = new QGridLayout(this);
    poolStart_ = MakeNamed<IpAddressEdit>("dhcpPoolStart", this);
    poolEnd_ = MakeNamed<IpAddressEdit>("dhcpPoolEnd", this);
    netmask_ = MakeNamed<IpAddressEdit>("dhcpNetmask", this);
    gateway_ = MakeNamed<IpAddressEdit>("dhcpGateway", this);
    leaseMinutes_ = MakeNamed<QLineEdit>("dhcpLeaseMinutes", this);
    leaseMinutes_->setReadOnly(true);
    status_ = MakeList(kDisableEnable, this, "dhcpServerStatus");
    AddRow(grid, "IP Pool Start Address", poolStart_);
    AddRow(grid, "IP Pool End Address", poolEnd_);
    AddRow(grid, "Subnet Mask", netmask_);
    AddRow(grid, "Default Gateway", gateway_);
    AddRow(grid, "Lease Time", leaseMinutes_, "minutes");
    AddRow(grid, "Status", status_);
    grid->setRowStretch(grid->rowCount(), 1);
    grid->setColumnStretch(3, 1);
}

void CDlgDmSetupDhcpServer::RefreshControls() {
    poolStart_->SetAddress(v_.dhcpPoolStart);
    poolEnd_->SetAddress(v_.dhcpPoolEnd);
    netmask_->SetAddress(v_.dhcpNetmask);
    gateway_->SetAddress(v_.dhcpGateway);
    leaseMinutes_->setText(QString::number(v_.dhcpLeaseMinutes));
    SelectPosition(status_, v_.dhcpServerStatus);
}

QList<const LimitedLineEdit*> CDlgDmSetupDhcpServer::ReadControls() {
    v_.dhcpPoolStart = poolStart_->Address();
    v_.dhcpPoolEnd = poolEnd_->Address();
    v_.dhcpNetmask = netmask_->Address();
    v_.dhcpGateway = gateway_->Address();
    v_.dhcpLeaseMinutes = ReadUnsigned(leaseMinutes_->text());
    v_.dhcpServerStatus = Position(status_);
    return {};
}

void CDlgDmSetupDhcpServer::ShowLoadedLine(int line) {
    switch (line) {
        case 58:
            poolStart_->SetAddress(v_.dhcpPoolStart);
            break;
        case 59:
            poolEnd_->SetAddress(v_.dhcpPoolEnd);
            break;
        case 60:
            netmask_->SetAddress(v_.dhcpNetmask);
            break;
        case 61:
            gateway_->SetAddress(v_.dhcpGateway);
            break;
        case 63:
            SelectPosition(status_, v_.dhcpServerStatus);
            break;
        default:
            break;
    }
}
