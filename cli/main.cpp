#include <QCoreApplication>

#include "cli/CliCommand.h"

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    return RunCli(app.arguments().mid(1));
}
