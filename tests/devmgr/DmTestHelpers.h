#pragma once

#include <gtest/gtest.h>

#include <QStringList>
#include <memory>
#include <vector>

#include "devmgr/DmController.h"
#include "protocol/Ipv4Address.h"
#include "protocol/Message.h"
#include "tests/devmgr/DmSimNet.h"

// Faults of a device's answers to searches only: none, or late by delayMs.
inline devsim::Faults SearchFaults(bool silent, int delayMs = 0) {
    devsim::Faults faults;
    faults.silent = silent;
    faults.delayMs = delayMs;
    faults.commands = {msg::kSearchRequest};
    return faults;
}

// A device manager on the simulated network, after its initial update and start-up actions.
class DmFlowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        DM_START_NET(net);
        dm = std::make_unique<DmController>(net.frame);
        dm->SetDevicePort(net.DevicePort());
        dm->InitialUpdate();
        net.Ticks(1);
        net.frame.prompts.Clear();
    }

    DmSimNet& Net() { return net; }
    int64_t Now() const { return net.frame.clock.Now(); }
    ScriptedPrompts& Prompts() { return net.frame.prompts; }

    // Lists the devices with a search that ends at its first tick.
    void ListDevices() {
        dm->OnSearch();
        net.Ticks(1);
        ASSERT_FALSE(net.frame.clock.IsRunning(dm.get(), DmController::kSearchTimer));
        Prompts().Clear();
    }
    void Tick(std::initializer_list<int> rows) {
        for (int row : rows) dm->SetRowChecked(row, true);
    }

    std::vector<bool> Buttons() const {
        std::vector<bool> enabled;
        for (int i = 0; i < kDmButtonCount; ++i)
            enabled.push_back(dm->ButtonEnabled(static_cast<DmButton>(i)));
        return enabled;
    }
    static std::vector<bool> AllButtons(bool on) { return std::vector<bool>(kDmButtonCount, on); }
    // System Setting, Search and Firmware Upgrade enabled, the four row buttons not.
    static std::vector<bool> SearchButtonsOnly() {
        return {true, true, false, true, false, false, false};
    }

    // The device whose row this is, found by the MAC address the row shows.
    devsim::SimDevice* DeviceOfRow(int row) {
        return net.sim->FindByMac(dm->Table().Record(row).MacAddress());
    }
    // Every row shows the device whose reply it stores.
    void ExpectRowsInStep() {
        for (int row = 0; row < dm->Table().Count(); ++row) {
            const DmDeviceTable& t = dm->Table();
            EXPECT_EQ(t.CellText(row, 3), DmDeviceTable::MacText(t.Record(row))) << row;
            EXPECT_EQ(t.CellText(row, 5),
                      Ipv4Address(t.Record(row).Get(devrec::currentIp)).ToString())
                << row;
        }
    }

    DmSimNet net;
    std::unique_ptr<DmController> dm;
};
