#pragma once

#include <netinet/in.h>
#include <sys/socket.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "vspd/ByteQueue.h"
#include "vspd/ControlProtocol.h"
#include "vspd/DriverRequests.h"
#include "vspd/EventLoop.h"
#include "vspd/PtyDevice.h"
#include "vspd/SlaveWatcher.h"

// One virtual serial port: a pseudo-terminal and its network side (TCP client, UDP peer,
// TCP server or UDP server), with the data pumped both ways through two bounded queues.
// While both ends are there, a full queue stops reading on the side that fills it, so a
// slow tty reader slows the remote down (TCP) and a slow remote slows the tty writer down.
// As on a serial line, what arrives while no program holds the tty is discarded, and what
// the program writes while no link is wanted is discarded; while a link is being made or
// restored, the program's output is kept up to the queue's bound. Every discarded byte is
// counted.
//
// The port's tty is one pseudo-terminal for the service's life: any number of descriptors
// and programs may hold it, as on any tty. When the last holder closes it, what it left
// unread (in the tty, the queue and the socket) is dropped and counted. The service writes
// into the tty about as fast as the program reads, so that a close leaves little there
// for a program that opens the port at once.
namespace vspd {

struct PortTiming {
    int connectTimeoutMs = 10000;  // bound of IOCTL_CONNECTION before it fails with 121
    int autoRetryMs = 5000;        // retry period of connect-at-start ports
    int reconnectFirstMs = 1000;   // first pause before restoring a dropped link
    int reconnectMaxMs = 30000;    // the pauses double up to this
};

class VirtualPort {
  public:
    using Done = std::function<void(uint32_t error)>;

    VirtualPort(EventLoop& loop, SlaveWatcher& watcher, const PortTiming& timing,
                uint32_t instance);
    ~VirtualPort();
    VirtualPort(const VirtualPort&) = delete;
    VirtualPort& operator=(const VirtualPort&) = delete;

    bool Create(std::string* error);

    uint32_t Instance() const { return instance_; }
    // The tty that COMn leads to.
    const std::string& LinkTarget() const { return pty_.SlavePath(); }
    bool SlaveHeldOpen() const { return pty_.SlaveHeldOpen(); }

    // Configuration as IOCTL_SET_REMOTE_INFO gives it; an established connection stays.
    void SetConfig(const RemoteInfoRequest& config);
    const RemoteInfoRequest& Config() const { return config_; }
    uint16_t LocalPort() const { return localPort_; }
    void SetLocalPort(uint16_t port) { localPort_ = port; }

    // IOCTL_CONNECTION: done runs once, when connected or failed (perhaps at once).
    void Connect(Done done);
    // IOCTL_SERVER: listens on the configured port.
    uint32_t Listen();
    // IOCTL_DISCONNECTION: closes the connection or stops listening.
    void Disconnect();
    // Connect-at-start: connects (or listens) and keeps retrying until it succeeds or a
    // disconnection or new configuration ends it.
    void StartAtBoot();
    // Every port, instance or COM name in log lines.
    std::string Name() const;

    RemoteInfoReply Info() const;
    void Describe(PortEntry& entry) const;

    // A report of the slave watcher; the port looks whether the watch is its own.
    void OnSlaveEvent(int wd, SlaveWatcher::Event event);
    // After a batch of reports: settles what they left open (no tty writes here).
    void AfterSlaveEvents();
    // Called after the local UDP port changed, so that it can be kept across restarts.
    std::function<void()> onLocalPortChanged;
    // Handles the slave watcher's pending reports; called before anything is written into
    // the tty, so that it goes to the program that holds the port then.
    std::function<void()> lookAtTty;

  private:
    enum class Role { None, TcpClient, UdpClient, TcpServer, UdpServer };

    // network side (VirtualPortNet.cpp)
    void ConnectTcp();
    uint32_t ConnectUdp();
    // Takes fd as the data socket of a client of the configured remote.
    void StartClient(int fd, Role role, PortState state);
    // Takes fd as the data socket and watches it.
    void AdoptSocket(int fd);
    void ConnectFinished(uint32_t error);
    void OnConnecting(uint32_t events);
    void OnListener(uint32_t events);
    void Established(int fd);
    void CloseData();
    void CloseAll();
    // The TCP peer closed (err 0) or the connection failed with err (a reset, keep-alive
    // giving up).
    void PeerGone(int err);
    // Keeps connecting until it succeeds or a disconnection ends it.
    void StartRetrying(int firstDelayMs, bool backoff);
    void ScheduleRetry();
    void Retry();
    void StopRetrying();
    // A link is established, being made, or being restored.
    bool LinkExpected() const { return state_ != PortState::Idle || retrying_; }
    void RefuseConnection(int fd, const sockaddr_in& from);
    // Whether a datagram from this address may reach the program (UDP server).
    bool AcceptSender(const sockaddr_in& from);

    // data pump (VirtualPortData.cpp)
    void OnMaster(uint32_t events);
    void OnSocket(uint32_t events);
    void ReadMaster();
    void WriteMaster();
    // The program closed the tty: what it has not read (in the tty, in the queue and in
    // the socket) is dropped and counted, as a serial driver empties its input at the
    // last close.
    void EndSession();
    // The tty side (VirtualPortTty.cpp): sessions and pacing.
    void SlaveOpened();
    void StartSession();
    // Every holder had gone and a program opened the port before the hang-up showed: what
    // the tty and the queue held before that close was the previous program's.
    void RestartSession();
    // Writes into the tty wait for the program to read what it has (see kPaceChunk).
    bool Paced() const;
    void WroteChunk();
    void StopPacing();
    void StopWaitingForOpen();
    // What waits in the tty for a reader, dropped without the watch taking the service's
    // own open for a program's.
    SlaveDiscard DiscardTtyInput(bool held);
    void LookAtTty() {
        if (lookAtTty) lookAtTty();
    }
    // A packet-mode status byte: the program flushed a direction.
    void OnTtyStatus(uint8_t status);
    void DropDown();
    void DropUp();
    // Reads and discards what the socket holds now, up to limit bytes.
    void DrainSocket(size_t limit = SIZE_MAX);
    // What a TCP socket holds while down_ is full and the socket is not read; else 0.
    size_t SocketBacklog() const;
    void ReadSocket();
    void SendUp();
    void SendDatagrams();
    bool SendSegmented(size_t limit);
    // Sends a batch of packet-size slices of the queued bytes in one system call (two on
    // TCP, the last slice apart). False (errno tells) when nothing went out; *partial when
    // the socket took less than offered.
    bool SendSlices(bool* partial);
    // Cuts the queued bytes into messages of at most the packet size.
    unsigned Slice(iovec* pieces, mmsghdr* messages);
    void Sent(size_t bytes);
    bool HasDestination() const;
    bool IsTcp() const { return role_ == Role::TcpClient || role_ == Role::TcpServer; }
    size_t PacketLimit() const;
    void UpdateMasks();

    EventLoop& loop_;
    SlaveWatcher& watcher_;
    PortTiming timing_;
    uint32_t instance_;
    PtyDevice pty_;
    int watch_ = -1;  // the slave watcher's, or -1
    RemoteInfoRequest config_;
    uint16_t localPort_ = 0;

    Role role_ = Role::None;
    PortState state_ = PortState::Idle;
    int sock_ = -1;    // data socket: TCP connection or UDP socket
    int listen_ = -1;  // TCP listening socket
    FdWatch masterWatch_;
    FdWatch sockWatch_;
    FdWatch listenWatch_;
    sockaddr_in peer_{};
    bool peerKnown_ = false;
    bool sockHup_ = false;  // the socket reported a hang-up; read what is left, then close
    uint16_t listenPort_ = 0;

    bool ttyHup_ = true;           // no program has the slave open (as last seen)
    bool hupDrained_ = false;      // and everything it wrote has been read
    int holders_ = 0;              // open files of the slave, as the watch counts them
    bool allClosed_ = false;       // the count fell to 0 and no open has been reported since
    bool openUnreported_ = false;  // the session began before the watch reported its open
    bool lookAgain_ = false;       // reports were lost, or came while hung up
    size_t settled_ = 0;           // bytes at the front of down_ received before the last look
    size_t socketSettled_ = 0;     // bytes the TCP socket held then, while down_ was full
    bool mayWrite_ = true;         // the program has read since the last paced write
    bool ownFlush_ = false;        // a flush status of the service's own is still to come
    EventLoop::TimerId paceTimer_ = 0;
    EventLoop::TimerId openTimer_ = 0;
    ByteQueue up_;              // tty -> network
    ByteQueue down_;            // network -> tty
    bool segmentation_ = true;  // UDP_SEGMENT works here
    bool masterFull_ = false;   // the last write to the master found no room
    uint64_t bytesToNet_ = 0;
    uint64_t bytesFromNet_ = 0;
    uint64_t droppedToNet_ = 0;
    uint64_t droppedFromNet_ = 0;
    uint64_t strangerDatagrams_ = 0;

    RemoteInfoRequest linkConfig_;  // the configuration the current link was made with
    std::vector<Done> waiters_;
    EventLoop::TimerId connectTimer_ = 0;
    EventLoop::TimerId retryTimer_ = 0;
    bool retrying_ = false;
    bool backoff_ = false;  // pauses double (a dropped link), or stay (connect at start)
    int retryDelayMs_ = 0;
};

}  // namespace vspd
