#pragma once

#include <QByteArray>
#include <QLocalSocket>
#include <QObject>
#include <QSet>
#include <QString>
#include <QTimer>

// Which COM ports a program holds, as the port service's List reply says (`ttyOpen`), asked
// without waiting: one request on a non-blocking local socket, answered by `answered` on the
// user-interface thread, never inside Ask. No service, a broken reply or none within the
// service's reply limit answer with an empty set. An Ask while one runs is answered with it.
class HeldPortsQuery final : public QObject {
    Q_OBJECT
  public:
    explicit HeldPortsQuery(QString socketPath, QObject* parent = nullptr);

    void Ask();

  signals:
    void answered(const QSet<QString>& held);

  private:
    void OnConnected();
    void OnReadable();
    void Finish(const QSet<QString>& held);

    QString socketPath_;
    QLocalSocket socket_;
    QTimer deadline_;
    QByteArray reply_;
    bool asking_ = false;
};
