// Starting the port service for the installed program: through the user's systemd, else as a
// child of the program that ends with it, else a plain word on how to start it.
#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "app/PortServiceUnit.h"
#include "vspd/ControlClient.h"

namespace {

bool Answers(const QString& socket) {
    vspd::ControlClient client(socket.toStdString());
    return client.Connect();
}

class PortService : public testing::Test {
  protected:
    PortService() {
        programs.systemctl = "false";  // no user session: the unit cannot be started
        programs.vspd = VELTRO_VSPD_BINARY;
        programs.vspdArgs = {"--socket",          socket,        "--com-dir",
                             dir.filePath("com"), "--state-dir", dir.filePath("state"),
                             "--no-auto-map"};
    }
    QTemporaryDir dir;
    QString socket = dir.filePath("run/control.sock");
    PortServiceStarter::Programs programs;
};

}  // namespace

TEST_F(PortService, WithoutAUserSessionItRunsAsAChildThatEndsWithTheProgram) {
    {
        PortServiceStarter starter;
        EXPECT_TRUE(starter.EnsureRunning(socket, programs)
                        .startsWith("No systemd user session: the virtual serial port service "
                                    "runs as this program's child"));
        EXPECT_TRUE(starter.RunsChild());
        EXPECT_TRUE(Answers(socket));
        // Found running, it is left as it is.
        PortServiceStarter second;
        EXPECT_EQ(second.EnsureRunning(socket, programs), "");
        EXPECT_FALSE(second.RunsChild());
    }
    EXPECT_FALSE(Answers(socket));
}

TEST_F(PortService, WhenNothingStartsItTheUserIsToldHow) {
    programs.vspd = dir.filePath("no-such-program");
    PortServiceStarter starter;
    EXPECT_EQ(starter.EnsureRunning(socket, programs),
              "The virtual serial port service could not be started: run \"veltro-vspd\", then "
              "start this program again.");
    EXPECT_FALSE(starter.RunsChild());
}
