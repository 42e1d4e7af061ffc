// tftp_upload HOST_ADDRESS DEVICE_ADDRESS PORT IMAGE: one push upgrade of IMAGE to a TFTP server,
// as the device manager runs it: Qt event loop, Qt timers, its log lines kept (progress lines, as
// the window logs by default). Exits 0 when the server acknowledged the last block.
#include <QCoreApplication>
#include <QStringList>
#include <cstdio>

#include "platform/QtTimerHost.h"
#include "platform/UserPrompts.h"
#include "protocol/Ipv4Address.h"
#include "upgrade/TftpClient.h"

namespace {

// Message boxes go to standard error; nobody is there to answer them.
class ConsolePrompts final : public UserPrompts {
  public:
    PromptAnswer MessageBox(const MessageBoxRequest& request) override {
        std::fprintf(stderr, "%s\n", qPrintable(request.text));
        return request.defaultAnswer;
    }
    QString OpenFileName(const FileDialogRequest&) override { return {}; }
    QString SaveFileName(const FileDialogRequest&) override { return {}; }
    void Beep(int, int) override {}
    bool ShellOpen(const QString&) override { return false; }
};

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 5) {
        std::fprintf(stderr, "usage: tftp_upload HOST_ADDRESS DEVICE_ADDRESS PORT IMAGE\n");
        return 2;
    }
    QtTimerHost timers;
    ConsolePrompts prompts;
    QStringList log;
    CTftpClient client(timers, prompts, [&](const QString& line) { log << line; });
    client.SetServerPort(static_cast<uint16_t>(args[3].toUInt()));
    bool finished = false;
    QObject::connect(&client, &CTftpClient::upgradeFinished, [&] { finished = true; });
    QObject::connect(&client, &CTftpClient::buttonsEnabled, [&](bool enabled) {
        if (enabled) QCoreApplication::quit();
    });
    if (!client.Start(args[4], Ipv4Address::Parse(args[2]).value_or(Ipv4Address()).HostOrder(),
                      Ipv4Address::Parse(args[1]).value_or(Ipv4Address()).HostOrder()))
        return 1;
    app.exec();
    if (!finished) {
        std::fprintf(stderr, "%s\n", log.isEmpty() ? "no log" : qPrintable(log.last()));
        return 1;
    }
    return 0;
}
