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

// Runs the program with no display at all.
Outcome RunProgram(const Program& program, const QStringList& arguments) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        environment.remove(QLatin1String(name));
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(qEnvironmentVariable("VELTRO_BINARY_DIR") + '/' + QLatin1String(program.path),
                  arguments);
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
        const Outcome help = RunProgram(program, {QStringLiteral("--help")});
        EXPECT_EQ(help.exitCode, 0) << help.err.toStdString();
        EXPECT_TRUE(help.out.startsWith(QStringLiteral("Usage: %1 ").arg(program.name),
                                        Qt::CaseInsensitive))
            << help.out.toStdString();
        EXPECT_TRUE(help.out.contains(QLatin1String("--version"))) << help.out.toStdString();
        EXPECT_EQ(help.err, QString());

        const Outcome version = RunProgram(program, {QStringLiteral("--version")});
        EXPECT_EQ(version.exitCode, 0);
        EXPECT_EQ(version.out, QStringLiteral("%1 %2\n").arg(program.name, VELTRO_VERSION));

        // Without a display, as the first two: refused before anything needs one.
        const Outcome wrong = RunProgram(program, {QStringLiteral("--bogus-opt")});
        EXPECT_EQ(wrong.exitCode, 2);
        EXPECT_TRUE(wrong.err.contains(QLatin1String("bogus-opt"))) << wrong.err.toStdString();
        EXPECT_EQ(wrong.out, QString());
    }
}

// Qt's own options still reach Qt, also in the forms it takes them; the window's program
// starts with them and a wrong one beside them is refused.
TEST(ProgramOptions, TheWindowTakesQtsOwnOptions) {
    const Program& veltro = kPrograms[0];
    for (const QStringList& arguments :
         {QStringList{"-style", "fusion", "--bogus-opt"},
          QStringList{"--style=fusion", "--bogus-opt"}, QStringList{"-reverse", "--bogus-opt"}}) {
        const Outcome refused = RunProgram(veltro, arguments);
        EXPECT_EQ(refused.exitCode, 2);
        EXPECT_EQ(refused.err,
                  QStringLiteral("veltro: unknown option \"--bogus-opt\" (see veltro --help)\n"));
    }
    const Outcome missing = RunProgram(veltro, {QStringLiteral("-platform")});
    EXPECT_EQ(missing.exitCode, 2);
    EXPECT_TRUE(missing.err.contains(QLatin1String("-platform"))) << missing.err.toStdString();
}

}  // namespace
