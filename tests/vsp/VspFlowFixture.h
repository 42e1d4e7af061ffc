#pragma once

#include <gtest/gtest.h>

#include "tests/support/EventPump.h"
#include "tests/vsp/FakeVspFrame.h"
#include "tests/vspd/NetPeers.h"
#include "tests/vspd/VspdProcess.h"
#include "vsp/VspController.h"

// A socat TCP listener (on 127.0.0.1 unless told) that sends back every byte.
struct EchoPeer {
    static constexpr int kListenMs = 3000;
    explicit EchoPeer(uint16_t p = FreePort(), const std::string& address = "127.0.0.1")
        : port(p),
          socat({"socat",
                 "TCP-LISTEN:" + std::to_string(p) + ",bind=" + address + ",reuseaddr,fork",
                 "PIPE"}) {
        EXPECT_TRUE(WaitTcpListening(port, kListenMs));
    }
    uint16_t port;
    Child socat;
};

// The view's controller against a veltro-vspd of the test's own, on the manual clock. Each
// tick of the clock lets the requests that its timers made get their answers.
class VspFlow : public ::testing::Test {
  protected:
    explicit VspFlow(VspdOptions options = {}) : service(std::move(options)) {
        frame.clock.SetPump([this] { Answered(); });
    }

    static constexpr int kAttemptGuardMs = 10000;

    void SetUp() override { ASSERT_TRUE(service.Start()); }

    // Every request of the view has its answer; connection attempts may still run.
    void Answered() {
        ASSERT_TRUE(
            PumpUntil([this] { return vsp.Commands().Service().Pending() == 0; }, kAttemptGuardMs));
    }

    // The initial update and the first refresh a second later.
    void Start() {
        vsp.InitialUpdate();
        frame.clock.Advance(VspController::kRefreshMs);
    }
    // Add with the COM number dialog answering `comNumber`.
    void Add(int comNumber) {
        vsp.SetPortNumberChooser([comNumber](const VspComUsage&) { return comNumber; });
        vsp.OnAdd();
        Answered();
    }
    // Both presses of Setting on `row`, with `edit` changing the form in between.
    void Configure(int row, const std::function<void(VspForm&)>& edit) {
        vsp.ClickRow(row);
        vsp.OnSetting();
        Answered();
        ASSERT_TRUE(vsp.SettingMode());
        VspForm form = vsp.Form();
        edit(form);
        vsp.EditForm(form);
        vsp.OnSetting();
        Answered();
    }
    void ConfigureClient(int row, uint16_t port, int32_t protocol = 0) {
        Configure(row, [&](VspForm& f) {
            f.clientMode = 1;
            f.protocol = protocol;
            f.remoteIp = 0x7F000001;
            f.remotePortText = QString::number(port);
        });
    }
    // Waits for every request's answer and every connection attempt's result.
    void Settle() {
        ASSERT_TRUE(PumpUntil([this] { return vsp.Settled(); }, kAttemptGuardMs));
    }
    // Connect on `row`, as the user clicks it and presses the button, to its result.
    void ConnectRow(int row) {
        vsp.ClickRow(row);
        vsp.OnConnect();
        Settle();
    }
    uint32_t Word(const QString& name) { return vsp.Commands().Supervision().Word(name); }
    QString Cell(int row, int column) const {
        return vsp.Rows().at(size_t(row)).cells[size_t(column)];
    }
    QStringList Column(int column) const {
        QStringList cells;
        for (const VspRow& r : vsp.Rows()) cells << r.cells[size_t(column)];
        return cells;
    }
    bool Enabled(VspControl c) const { return vsp.Enabled(c); }

    VspdProcess service;
    FakeVspFrame frame{service.Socket()};
    VspController vsp{frame};
};
