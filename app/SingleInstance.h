#pragma once

#include <QLocalServer>
#include <QLockFile>
#include <QObject>
#include <QString>

// One copy of the program per user: the first copy holds a lock file and listens at a local
// server in the user's runtime folder; a later copy asks it to show its window and leaves,
// so that two copies never fight over the probe and management ports.
class SingleInstance final : public QObject {
    Q_OBJECT
  public:
    // `folder`: where the lock and the server live; the user's runtime folder by default.
    explicit SingleInstance(const QString& folder = RuntimeFolder(), QObject* parent = nullptr);

    // True when no other copy runs: this one then answers later copies.
    bool Claim();

    static QString RuntimeFolder();

  signals:
    // A later copy started: the window should come to the front.
    void raiseRequested();

  private:
    bool AskRunningCopy();

    QString serverPath_;
    QLockFile lock_;
    QLocalServer server_;
};
