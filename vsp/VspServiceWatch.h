#pragma once

#include <QObject>
#include <QString>
#include <memory>

class QSocketNotifier;

// A session with the service that never asks anything: its end says at once that the service
// went away (stopped or restarted), however briefly. Opened without waiting.
class VspServiceWatch final : public QObject {
    Q_OBJECT
  public:
    explicit VspServiceWatch(QString socketPath, QObject* parent = nullptr);
    ~VspServiceWatch() override;

    // False when the service cannot be reached now.
    bool Open();
    bool IsOpen() const { return fd_ >= 0; }

  signals:
    void ended();

  private:
    void OnReadable();
    void Close();

    QString socketPath_;
    int fd_ = -1;
    std::unique_ptr<QSocketNotifier> notifier_;
};
