#pragma once

#include <QUdpSocket>

class COrvinSocket;

// Whoever owns forwarding sockets (the main frame) hands their data to the right view.
class OrvinSocketOwner {
  public:
    virtual ~OrvinSocketOwner() = default;
    virtual void OnVspSocketData(COrvinSocket& socket) = 0;
    virtual void OnMonitorSocketData(COrvinSocket& socket) = 0;
};

// A UDP socket whose data-arrived notification goes to one view, chosen by its kind.
// The views create, bind and read their own forwarding sockets.
class COrvinSocket : public QUdpSocket {
    Q_OBJECT
  public:
    enum Kind { kVsp = 1, kMonitor = 2 };
    COrvinSocket(OrvinSocketOwner* owner, int kind);
    int kind() const { return kind_; }

  private:
    void Forward();
    OrvinSocketOwner* owner_;
    int kind_;
};
