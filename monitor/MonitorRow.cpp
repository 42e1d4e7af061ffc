#include "monitor/MonitorRow.h"

#include "monitor/StatusReply.h"

MonitorRow MonitorRow::FromDevice(const MonitorDevice& device) {
    MonitorRow row;
    row.cells[kNumberColumn] = QString::number(device.index);
    row.cells[kStatusColumn] = kIdle;
    row.cells[kNameColumn] = device.name;
    row.cells[kIpColumn] = device.ip;
    row.mac = device.mac;
    return row;
}

void MonitorRow::ShowReply(const StatusReply& reply) {
    back = kMonitorNormalBack;
    cells[kStatusColumn] = kSuccess;
    cells[kModemColumn] = QStringLiteral("%1").arg(reply.modemStatus, 2, 16, QChar('0')).toUpper();
    cells[kVersionColumn] = QString::fromLatin1(reply.firmwareVersion);
    cells[kTxColumn] = QString::number(reply.txCount);
    cells[kRxColumn] = QString::number(reply.rxCount);
}

void MonitorRow::ShowFailure() {
    back = kMonitorFailBack;
    cells[kStatusColumn] = kFail;
    for (int column = kModemColumn; column <= kRxColumn; ++column) cells[column] = kNoValue;
}
