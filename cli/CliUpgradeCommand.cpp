// upgrade: the firmware file checked as the window checks it, then CliUpgrade on the devices.
#include <unistd.h>

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <cstdio>

#include "cli/CliCommand.h"
#include "cli/CliInterrupt.h"
#include "cli/CliOutput.h"
#include "cli/CliUpgrade.h"
#include "platform/AtomicFile.h"
#include "upgrade/FirmwareImage.h"

namespace {

// The image as it was checked, copied where nothing else writes: every device gets these
// bytes, whatever happens to the user's file meanwhile. The copy keeps the file's name, which
// the write request carries.
struct CheckedImage {
    QTemporaryDir dir;
    QString path;
    int64_t size = 0;
};

// The window's reason when the image is refused, or why it cannot go in blocks of the size
// asked (then nothing was sent), else empty.
QString CheckImage(const QString& path, int blockSize, CheckedImage& checked) {
    const FirmwareImage image = ReadFirmwareImage(path, CTftpClient::kMaxImageSize);
    if (image.status == FirmwareImage::Status::CannotOpen)
        return QStringLiteral("%1 (%2)").arg(QLatin1String(kCantOpenImage), WhatIsNoImage(path));
    if (QString why = FirmwareImageProblem(image, CTftpClient::kMaxImageSize); !why.isEmpty())
        return why;
    if (blockSize != 0)
        if (QString why = TftpBlockSizeProblem(blockSize, image.bytes.size()); !why.isEmpty())
            return why;
    checked.path = QDir(checked.dir.path()).filePath(QFileInfo(path).fileName());
    checked.size = image.bytes.size();
    if (QString error;
        !checked.dir.isValid() || !WriteFileAtomically(checked.path, image.bytes, &error))
        return QStringLiteral("cannot keep a copy of it: %1").arg(error);
    return {};
}

}  // namespace

int RunUpgrade(const QStringList& args) {
    CliCommand command(QStringLiteral("upgrade"), QStringLiteral("FIRMWARE DEVICE..."),
                       QStringLiteral("Pushes a firmware image into devices, several at a time, "
                                      "each until it has restarted (it stopped answering "
                                      "searches, then answered again). A file that is no "
                                      "firmware image exits with 2 before anything is sent; "
                                      "SIGINT or SIGTERM cancels, reports every device and "
                                      "exits with 130."));
    CliTransferOptions transfer(QStringLiteral("Devices upgraded at a time"));
    QCommandLineOption force(QStringLiteral("force"),
                             QStringLiteral("Go on when a device is outside the host's subnet."));
    command.Parser().addOptions(transfer.Options() << force);
    if (auto code = command.Parse(args, 2, -1)) return *code;
    if (auto code = transfer.Read(command)) return *code;
    CatchStopSignals();
    std::vector<CliTarget> targets;
    if (auto code = command.Targets(command.Positional().mid(1), targets)) return *code;
    CheckedImage image;
    if (const QString why = CheckImage(command.Positional()[0], transfer.BlockSize(), image);
        !why.isEmpty()) {
        PrintError(QStringLiteral("veltroctl upgrade: %1: %2").arg(command.Positional()[0], why));
        return kExitUsage;
    }
    int exitCode = kExitOk;
    const bool forced = command.Parser().isSet(force);
    auto session = OpenAndSearch(command, forced, 0, exitCode);
    if (!session) return exitCode;
    CliPlan plan(*session, targets);
    RefuseNotOneHost(*session, plan);
    for (const CliDevice& device : plan.Devices()) {
        session->Prompter().SetPrefix(device.ip);
        if (!session->Controller().SubnetCheck(device.record, DmSubnetWarning::kUpgrade))
            plan.Settle({device, false, QStringLiteral("outside the host's subnet (--force)")});
    }
    session->Prompter().SetPrefix({});
    // Progress goes where the results go, unless they are JSON.
    FILE* progress = command.Json() ? stderr : stdout;
    CliUpgrade upgrade(*session, {.imagePath = image.path,
                                  .imageSize = image.size,
                                  .parallel = transfer.Parallel(),
                                  .tftpPort = transfer.TftpPort(),
                                  .progress = progress,
                                  .terminal = isatty(fileno(progress)) != 0,
                                  .blockSize = transfer.BlockSize()});
    for (const CliResult& result : upgrade.Run(plan.Devices())) plan.Settle(result);
    int upgraded = 0;
    for (const CliResult& result : plan.Results()) upgraded += result.ok;
    PrintOut(FormatResults(plan.Results(), command.Json()));
    PrintError(QStringLiteral("upgraded %1 of %2 devices%3")
                   .arg(upgraded)
                   .arg(plan.Results().size())
                   .arg(upgrade.Cancelled() ? QStringLiteral(" (cancelled)") : QString()));
    if (upgrade.Cancelled()) return kExitInterrupted;
    return plan.AllOk() ? kExitOk : kExitFailed;
}
