#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QScreen>
#include <QSplitter>
#include <QTemporaryDir>
#include <QUdpSocket>

#include "app/widgets/OrvinApp.h"
#include "devmgr/widgets/ViewDm.h"
#include "platform/ManualClock.h"
#include "platform/NetInterfaces.h"
#include "platform/ScriptedPrompts.h"
#include "tests/support/FakeNetInterfaces.h"
#include "tests/support/FakeVspDriverQueries.h"
#include "tests/support/FileBytes.h"

namespace {

class Startup : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        net.hostAddresses = QStringList{"127.0.0.1"};
        net.adapters = std::vector<AdapterInfo>{{"lo", "127.0.0.1", "255.0.0.0"}};
    }
    void WriteFile(const QString& name, const QByteArray& content) {
        WriteFileBytes(dir.filePath(name), content);
    }
    QByteArray ReadFile(const QString& name) { return ReadFileBytes(dir.filePath(name)); }
    COrvinApp App() { return COrvinApp({prompts, clock, net, vsp, dir.path()}); }

    QTemporaryDir dir;
    ScriptedPrompts prompts;
    ManualClock clock;
    FakeNetInterfaces net;
    FakeVspDriverQueries vsp;
};

}  // namespace

TEST_F(Startup, MissingDriverPackageShowsTheMessageAndNoWindow) {
    COrvinApp app = App();
    EXPECT_EQ(app.InitInstance(), nullptr);
    ASSERT_EQ(prompts.shown.size(), 1u);
    EXPECT_EQ(prompts.shown[0].text, COrvinApp::kMissingDriverText);
    EXPECT_TRUE(QApplication::topLevelWidgets().isEmpty() ||
                std::none_of(QApplication::topLevelWidgets().begin(),
                             QApplication::topLevelWidgets().end(),
                             [](QWidget* w) { return w->isVisible(); }));
    EXPECT_FALSE(QFile::exists(dir.filePath("VELTRO.dat")));
}

TEST_F(Startup, OpensMaximisedWithDeviceManagerAndSystemLogShown) {
    WriteFile("TUNLDRV.inf", "[Manufacturer]\n");
    COrvinApp app = App();
    CMainFrame* frame = app.InitInstance();
    ASSERT_NE(frame, nullptr);
    EXPECT_TRUE(frame->isVisible());
    EXPECT_TRUE(frame->windowState() & Qt::WindowMaximized);
    // No window manager maximises it here: it is as large as the screen's free area.
    EXPECT_EQ(frame->size(), frame->screen()->availableGeometry().size());
    EXPECT_EQ(frame->minimumSize(), QSize(665, 550));
    EXPECT_EQ(frame->FunctionViewIndex(), kFunctionDeviceManager);
    EXPECT_EQ(frame->BottomViewIndex(), kBottomLog);
    EXPECT_EQ(frame->windowTitle(), "VELTRO Configuration Utility v1.1.0");
    EXPECT_TRUE(QFile::exists(dir.filePath("VELTRO.dat")));  // created on first start
    EXPECT_EQ(frame->HostAddress(), "127.0.0.1");
    EXPECT_EQ(frame->HostNetmask(), "255.0.0.0");
    EXPECT_EQ(vsp.checkBusyCalls, 1);
    const auto& rows = frame->Log().Rows();
    ASSERT_GE(rows.size(), 2u);
    EXPECT_EQ(rows[0].number, "1");
    EXPECT_EQ(rows[0].message, "Application starts successfully.");
    EXPECT_EQ(rows[1].message, "Selected network interface: 127.0.0.1");

    frame->ShowFunctionView(kFunctionVsp);
    frame->ShowBottomView(kBottomTerminal);
    EXPECT_EQ(frame->FunctionViewIndex(), kFunctionVsp);
    EXPECT_FALSE(frame->FunctionView(kFunctionDeviceManager)->isVisible());
    EXPECT_EQ(frame->BottomViewIndex(), kBottomTerminal);
}

TEST_F(Startup, AFailedBindOfTheBroadcastSocketIsLogged) {
    WriteFile("TUNLDRV.inf", "");
    QUdpSocket holder;
    ASSERT_TRUE(holder.bind(QHostAddress("127.0.0.1"), 25120));
    COrvinApp app = App();
    CMainFrame* frame = app.InitInstance();
    ASSERT_NE(frame, nullptr);
    const auto& rows = frame->Log().Rows();
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[2].message,
              "Failed to bind broadcast socket to 127.0.0.1:25120: The bound address is already "
              "in use");
}

TEST_F(Startup, TitleFileGivesItsFirst64Bytes) {
    const QByteArray long70(70, 'T');
    struct Case {
        std::optional<QByteArray> content;
        QString title;
    };
    const Case cases[] = {{long70, QString(64, 'T')},
                          {QByteArray(""), QString("")},
                          {QByteArray("My Lab\0rest", 11), "My Lab"},
                          {std::nullopt, CMainFrame::kDefaultTitle}};
    for (const auto& c : cases) {
        QFile::remove(dir.filePath("t.dat"));
        if (c.content) WriteFile("t.dat", *c.content);
        EXPECT_EQ(COrvinApp::ReadTitle(dir.filePath("t.dat")), c.title);
    }
}

TEST_F(Startup, ClosingWritesTheSettingsBeforeTheWindowGoes) {
    WriteFile("TUNLDRV.inf", "");
    COrvinApp app = App();
    CMainFrame* frame = app.InitInstance();
    ASSERT_NE(frame, nullptr);
    frame->Settings().monitorInterval = 7;
    EXPECT_FALSE(ReadFile("VELTRO.dat").contains("7                   // (11)"));
    frame->close();
    EXPECT_FALSE(frame->isVisible());
    EXPECT_TRUE(ReadFile("VELTRO.dat").contains("7                   // (11)"));
}

TEST_F(Startup, DeviceManagerGetsItsInitialUpdateAndHandsItsBoxBackAtClose) {
    WriteFile("TUNLDRV.inf", "");
    WriteFile("VELTRO.dat", [] {
        AppSettings settings;
        settings.searchAtStart = 1;
        return EncodeSettingsFile(settings);
    }());
    COrvinApp app = App();
    CMainFrame* frame = app.InitInstance();
    ASSERT_NE(frame, nullptr);
    CViewDm& dm = frame->DeviceManager();
    EXPECT_TRUE(clock.IsRunning(&dm.Controller(), DmController::kStartupTimer));
    EXPECT_TRUE(dm.SearchAtStartBox()->isChecked());

    dm.SearchAtStartBox()->click();
    frame->close();
    EXPECT_TRUE(ReadFile("VELTRO.dat").contains("\r\n0                   // (07)"));
}

TEST_F(Startup, MenusCarryTheUsualShortcutsAndHelpWithoutABrowserSaysWhereItIs) {
    WriteFile("TUNLDRV.inf", "[Manufacturer]\n");
    COrvinApp app = App();
    CMainFrame* frame = app.InitInstance();
    ASSERT_NE(frame, nullptr);
    QStringList shortcuts;
    for (const QAction* action : frame->findChildren<QAction*>()) {
        if (!action->shortcut().isEmpty())
            shortcuts << action->text() + " " + action->shortcut().toString();
    }
    for (const char* expected : {"&Open Log... Ctrl+O", "&Save Log Ctrl+S", "E&xit Ctrl+Q",
                                 "&Search Devices F5", "Contents F1"})
        EXPECT_TRUE(shortcuts.contains(expected))
            << expected << " in " << shortcuts.join(", ").toStdString();

    prompts.shellOpens = false;
    frame->OnHelp();
    EXPECT_EQ(prompts.Texts().last(),
              "No program to show the help was found. The help is the file " +
                  dir.filePath("VELTRO.html") + ".");
}
