#pragma once

#include <gtest/gtest.h>

#include <QFile>
#include <QStringList>
#include <QTemporaryDir>
#include <memory>

#include "platform/ManualClock.h"
#include "platform/ScriptedPrompts.h"
#include "tests/support/FakeTftpTransport.h"
#include "upgrade/TftpClient.h"

// The client on the fake transport, its exchange on the calling thread and the manual clock.
class TftpClientOnFake : public testing::Test {
  protected:
    // An image file of these bytes.
    QString WriteImage(const QByteArray& content) {
        QFile image(dir.filePath("fw.bin"));
        EXPECT_TRUE(image.open(QIODevice::WriteOnly));
        image.write(content);
        return image.fileName();
    }

    ManualClock clock;
    ScriptedPrompts prompts;
    QStringList log;
    QTemporaryDir dir;
    FakeTftpTransport& transport = *new FakeTftpTransport;
    CTftpClient client{clock, prompts, [this](const QString& line) { log << line; },
                       std::unique_ptr<FakeTftpTransport>(&transport)};
};
