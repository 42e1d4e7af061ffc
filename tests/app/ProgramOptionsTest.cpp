// Every program answers --help and --version on standard output without a display, and a
// wrong option with exit code 2 and its name.
#include <gtest/gtest.h>

#include <QProcess>
#include <QProcessEnvironment>

namespace {

constexpr int kDeadlineMs = 20000;

struct Program {
    const char* path;  // in the build folder
    const char* name;
};

const Program kPrograms[] = {
    {"app/veltro", "veltro"},
    {"cli/veltroctl", "veltroctl"},
    {"vspd/veltro-vspd", "veltro-vspd"},
    {"vspd/veltro-vspctl", "veltro-vspctl"},
    {"tools/devsim/veltro-devsim", "veltro-devsim"},
};

struct Outcome {
    int exitCode = -1;
    QString out;
    QString err;
};

// Runs the program with no display at all unless `platform` names a Qt platform.
Outcome RunProgram(const Program& program, const QString& argument, const QString& platform) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        environment.remove(QLatin1String(name));
    if (!platform.isEmpty()) environment.insert(QStringLiteral("QT_QPA_PLATFORM"), platform);
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(qEnvironmentVariable("VELTRO_BINARY_DIR") + '/' + QLatin1String(program.path),
                  {argument});
    if (!process.waitForFinished(kDeadlineMs)) {
        process.kill();
        process.waitForFinished();
        return {};
    }
    Outcome outcome;
    outcome.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    outcome.out = QString::fromLocal8Bit(process.readAllStandardOutput());
    outcome.err = QString::fromLocal8Bit(process.readAllStandardError());
    return outcome;
}

TEST(ProgramOptions, HelpVersionAndAWrongOption) {
    for (const Program& program : kPrograms) {
        SCOPED_TRACE(program.name);
        const Outcome help = RunProgram(program, QStringLiteral("--help"), {});
        EXPECT_EQ(help.exitCode, 0) << help.err.toStdString();
        EXPECT_TRUE(help.out.startsWith(QStringLiteral("Usage: %1 ").arg(program.name),
                                        Qt::CaseInsensitive))
            << help.out.toStdString();
        EXPECT_TRUE(help.out.contains(QLatin1String("--version"))) << help.out.toStdString();
        EXPECT_EQ(help.err, QString());

        const Outcome version = RunProgram(program, QStringLiteral("--version"), {});
        EXPECT_EQ(version.exitCode, 0);
        EXPECT_EQ(version.out, QStringLiteral("%1 %2\n").arg(program.name, VELTRO_VERSION));

        // The window's program takes Qt's own options, so it meets this one with a platform.
        const Outcome wrong =
            RunProgram(program, QStringLiteral("--bogus"), QStringLiteral("offscreen"));
        EXPECT_EQ(wrong.exitCode, 2);
        EXPECT_TRUE(wrong.err.contains(QLatin1String("bogus"))) << wrong.err.toStdString();
        EXPECT_EQ(wrong.out, QString());
    }
}

}  // namespace
