// The port list's refresh and the navigation tree's port names: both walk the service's ports.
#include <algorithm>
#include <cstdio>

#include "platform/UserPrompts.h"
#include "protocol/Address.h"
#include "vsp/VspController.h"
#include "vsp/VspDriver.h"
#include "vsp/VspDriverQueries.h"
#include "vsp/VspPortTable.h"

namespace {

const char kEnumerationFailed[] = "Enumeration device failed (0x%x)\n";
const char kDetailFailed[] = "Error %d getting interface detail\n";
constexpr qsizetype kMaxDevicePath = 271;

}  // namespace

void VspController::Refresh(bool afterAdd) {
    if (table_.TableLoaded() && frame_.VspBusyCheck().PortBusy() && !afterAdd) {
        RestoreFromTable();
    } else {
        EnumerateIntoList(afterAdd);
    }
}

void VspController::RestoreFromTable() {
    const int count = std::min<int>(int(table_.PortCount()), kVspMaxPorts);
    for (int i = 0; i < count; ++i) {
        VspPortRecord& record = table_.Record(i);
        InsertRow(i, record.portId, record.portName, record.status);
        if (record.remotePortText != kNoConnection) {
            SetCell(i, VspRow::kRemotePortColumn, record.remotePortText);
            SetPollState(i, kPollClient);
            if (record.clientMode == 0) {
                ShowStatus(i, kServer);
            } else {
                SetCell(i, VspRow::kRemoteIpColumn, record.remoteIpText);
                ShowStatus(i, kConnected);
            }
        }
        if (record.protocol <= 1 && record.maxPacketSize > PacketSizeLimit(record.protocol)) {
            record.maxPacketSize = PacketSizeLimit(record.protocol);
            vspd::RemoteInfoRequest request;
            request.remoteIp = record.remoteIp;
            request.remotePort = record.remotePort;
            request.protocol = record.protocol;
            request.connectAtStart = uint32_t(record.connectAtStart);
            request.mode = uint32_t(record.clientMode);
            request.enableVcom = uint32_t(record.enableVcom);
            request.maxPacketSize = record.maxPacketSize;
            frame_.VspDriver().SetRemoteInfo(record.portId.toInt(), request);
        }
    }
    if (count > 0) LoadFormFromRecord(count - 1);
    WriteForm();
}

void VspController::EnumerateIntoList(bool afterAdd) {
    CVspDriver& driver = frame_.VspDriver();
    listedCount_ = 0;
    rows_.clear();
    emit listReset();
    uint32_t error = 0;
    auto list = driver.Enumerate(&error);
    if (!list) {
        std::printf(kEnumerationFailed, error);
        std::fflush(stdout);
        return;
    }
    bool toldBusy = false;
    for (size_t k = 0; k < list->size() && listedCount_ < kVspMaxPorts; ++k) {
        const VspInterface& port = (*list)[k];
        if (port.devicePath.size() > kMaxDevicePath) {
            std::printf(kDetailFailed, 122);
            std::fflush(stdout);
            break;
        }
        if (!CVspDriver::IsOurPort(port.devicePath, *list)) continue;
        QString name;
        vspd::RemoteInfoReply reply;
        // A port another program holds cannot be queried: it is listed by the name the
        // service gives it, with the user told once to stop that program.
        const bool queried =
            !port.busy && driver.GetDosName(int(k), &name) && driver.GetRemoteInfo(int(k), &reply);
        if (queried) {
            ListPort(int(k), name, reply, afterAdd);
        } else {
            if (!toldBusy && port.busy) frame_.Prompts().Inform(kStopTerminal);
            toldBusy = true;
            ListUnqueriedPort(int(k), port.portName);
        }
        ++listedCount_;
    }
    // Removal closes gaps up to portCount: it counts the rows listed here.
    table_.SetPortCount(uint32_t(listedCount_));
    Enable({VspControl::kAdd}, RowCount() < kVspMaxPorts);
}

void VspController::ListPort(int portId, const QString& name, const vspd::RemoteInfoReply& reply,
                             bool afterAdd) {
    const int row = listedCount_;
    TakeReplyIntoForm(reply);
    InsertRow(row, QString::number(portId), name, kIdle);
    uint32_t address = reply.remoteIp;
    if (afterAdd && name == addedName_) {
        address = kNewPortAddress;
        form_.enableVcom = 0;
        form_.maxPacketSize = kNewPortPacketSize;
    }
    form_.protocol = reply.protocol;
    ShowPortAndAddress(reply.remotePort, address);
    if (form_.protocol <= 1 && form_.maxPacketSize > PacketSizeLimit(form_.protocol))
        form_.maxPacketSize = PacketSizeLimit(form_.protocol);
    frame_.VspDriver().SetRemoteInfo(portId, FormRequest(address, reply.remotePort));
    WriteForm();

    VspPortRecord& record = table_.Record(row);
    record = {};
    record.portId = QString::number(portId);
    record.portName = record.treeName = name;
    record.remoteIp = address;
    record.remotePort = reply.remotePort;
    record.protocol = uint8_t(form_.protocol);
    record.connectAtStart = form_.connectAtStart;
    record.status = kIdle;
    record.clientMode = form_.clientMode;
    record.enableVcom = form_.enableVcom;
    record.maxPacketSize = form_.maxPacketSize;
    record.remoteIpText = record.remotePortText = kNoConnection;
    if (reply.connected != 0) {
        const QString word = form_.clientMode != 0 ? kConnected : kServer;
        ShowStatus(row, word);
        record.status = word;
        SetRemoteColumns(row, address, reply.remotePort);
        SetPollState(row, kPollClient);
    }
}

void VspController::ListUnqueriedPort(int portId, const QString& name) {
    const int row = listedCount_;
    InsertRow(row, QString::number(portId), name, kIdle);
    VspPortRecord& record = table_.Record(row);
    record = {};
    record.portId = QString::number(portId);
    record.portName = record.treeName = name;
    record.status = kIdle;
    record.remoteIpText = record.remotePortText = kNoConnection;
}

QStringList VspController::BuildPortNames() {
    portNames_.clear();
    if (table_.TableLoaded() && frame_.VspBusyCheck().PortBusy()) {
        const int count = std::min<int>(int(table_.PortCount()), kVspMaxPorts);
        for (int j = 0; j < count; ++j) {
            const VspPortRecord& r = table_.Record(j);
            QString name = r.treeName;
            if (r.status != kIdle)
                name += " (" + (r.clientMode != 0 ? r.remoteIpText : kServer) + ")";
            portNames_ << name;
        }
        return portNames_;
    }
    listedCount_ = 0;
    table_.SetPortCount(0);
    CVspDriver& driver = frame_.VspDriver();
    uint32_t error = 0;
    auto list = driver.Enumerate(&error);
    if (!list) {
        std::printf(kEnumerationFailed, error);
        std::fflush(stdout);
        return portNames_;
    }
    for (size_t k = 0; k < list->size(); ++k) {
        const VspInterface& port = (*list)[k];
        if (!CVspDriver::IsOurPort(port.devicePath, *list)) continue;
        QString name;
        vspd::RemoteInfoReply reply;
        if (port.busy || !driver.GetDosName(int(k), &name) ||
            !driver.GetRemoteInfo(int(k), &reply)) {
            portNames_ << port.portName;
        } else {
            TakeReplyIntoForm(reply);
            if (reply.connected != 0) {
                const bool client = reply.remoteIp != 0 && form_.clientMode > 0;
                name += " (" + (client ? FormatDotted(reply.remoteIp) : kServer) + ")";
            }
            portNames_ << name;
        }
        table_.SetPortCount(table_.PortCount() + 1);
    }
    return portNames_;
}
