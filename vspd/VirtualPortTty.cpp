// The tty side of a virtual port: the pseudo-terminal master in packet mode, so that the
// program's flushes reach the service as status bytes, and the sessions of the programs
// that hold its slave.
#include <sys/epoll.h>
#include <sys/ioctl.h>
#include <sys/uio.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "vspd/VirtualPort.h"

namespace vspd {
namespace {

constexpr int kReadsPerEvent = 8;    // then other descriptors get their turn
constexpr size_t kPtyBuffer = 4095;  // the most one read of a pty master returns
constexpr size_t kDiscardChunk = 16 * 1024;
// A paced write is at most this much; the next waits until the program has read. What a
// close leaves in the tty is then seldom more, and a flood still moves as fast as without
// pacing, nearly (four reads of the slave per write).
constexpr size_t kPaceChunk = 16384;
// A program that reads where the watch does not see it (through /dev/tty) still gets a
// chunk this often.
constexpr int kPaceFallbackMs = 250;
// When the count of holders falls to 0 while the master shows the port held, a program is
// opening it (its report follows within microseconds) or the count missed a holder.
constexpr int kOpenReportMs = 2;

uint8_t g_discard[kDiscardChunk];  // the service is single-threaded

}  // namespace

void VirtualPort::OnMaster(uint32_t events) {
    if (!ttyHup_ && (events & (EPOLLHUP | EPOLLERR)) && !SlaveHeldOpen()) {
        EndSession();
    } else if (ttyHup_) {
        SlaveOpened();  // an open the watch did not report shows when the program writes
    }
    if (events & (EPOLLIN | EPOLLHUP | EPOLLERR)) ReadMaster();
    if (events & EPOLLOUT) WriteMaster();
    UpdateMasks();
}

void VirtualPort::ReadMaster() {
    // What a flood brings in several reads goes out in one batch of sends, not one per read.
    bool queued = false;
    for (int i = 0; i < kReadsPerEvent; ++i) {
        // With no link to take it, the program's output is kept up to the queue's bound
        // while one is expected, else discarded: the writer is never held up.
        bool queue = up_.Room() > 0 && (HasDestination() || LinkExpected());
        if (!queue && HasDestination()) break;
        uint8_t status = 0;
        iovec parts[2] = {{&status, 1}, {nullptr, 0}};
        parts[1] = queue ? iovec{up_.WritePtr(), up_.ContiguousRoom()}
                         : iovec{g_discard, sizeof(g_discard)};
        ssize_t n = readv(pty_.Master(), parts, 2);
        if (n > 0 && status != TIOCPKT_DATA) {
            OnTtyStatus(status);
            continue;
        }
        if (n > 0) {
            size_t data = size_t(n) - 1;
            if (queue) {
                up_.Produced(data);
                queued = true;
            } else {
                droppedToNet_ += data;
            }
            // Less than the pty holds: drained, and no read that only says EAGAIN.
            if (data < std::min(kPtyBuffer, parts[1].iov_len)) break;
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno == EAGAIN) break;
        // EIO: no program holds the slave and all it wrote has been read.
        EndSession();
        hupDrained_ = true;
        break;
    }
    if (queued) SendUp();
}

void VirtualPort::WriteMaster() {
    // Who holds the port now, and whether the program has read: every byte goes to the
    // program that holds the port when it is written.
    LookAtTty();
    // The program may have flushed its input since the tty was last full: its status byte
    // comes first, so that nothing it dropped is written again.
    if (masterFull_) {
        masterFull_ = false;
        ReadMaster();
    }
    while (!down_.Empty() && !ttyHup_ && mayWrite_ && !allClosed_) {
        bool paced = Paced();
        size_t length = paced ? std::min(kPaceChunk, down_.Size()) : down_.Size();
        ssize_t n = write(pty_.Master(), down_.ReadPtr(), length);
        if (n > 0) {
            down_.Consumed(static_cast<size_t>(n));
            settled_ -= std::min(settled_, size_t(n));
            if (paced) WroteChunk();
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else {
            masterFull_ = true;  // EPOLLOUT resumes
            break;
        }
    }
}

bool VirtualPort::Paced() const {
    // A canonical reader takes nothing before a line ends, which may be further on.
    termios tio{};
    return watch_ >= 0 && tcgetattr(pty_.Master(), &tio) == 0 && !(tio.c_lflag & ICANON);
}

void VirtualPort::WroteChunk() {
    mayWrite_ = false;
    loop_.Cancel(paceTimer_);
    paceTimer_ = loop_.After(kPaceFallbackMs, [this] {
        paceTimer_ = 0;
        mayWrite_ = true;
        UpdateMasks();
    });
}

void VirtualPort::StopPacing() {
    loop_.Cancel(paceTimer_);
    paceTimer_ = 0;
    mayWrite_ = true;
}

void VirtualPort::EndSession() {
    if (ttyHup_) return;
    ttyHup_ = true;
    masterFull_ = false;
    holders_ = 0;
    StopWaitingForOpen();
    StopPacing();
    // What the socket holds is read and dropped as it comes while nobody holds the port: a
    // program that opens it meanwhile gets what came after its open.
    DropDown();
    droppedFromNet_ += DiscardTtyInput(false).bytes;
}

void VirtualPort::StartSession() {
    ttyHup_ = false;
    hupDrained_ = false;
    holders_ = 1;
    openUnreported_ = true;  // until the watch reports the open that started the session
    settled_ = 0;
    socketSettled_ = 0;
    StopWaitingForOpen();
    StopPacing();
}

void VirtualPort::StopWaitingForOpen() {
    allClosed_ = false;
    loop_.Cancel(openTimer_);
    openTimer_ = 0;
}

void VirtualPort::RestartSession() {
    // The tty is emptied at once, as the new program may be reading already; what the
    // socket holds may have come after the open, and goes to the new program.
    SlaveDiscard unread = DiscardTtyInput(true);
    droppedFromNet_ += unread.bytes;
    if (unread.flushStatus) {
        ownFlush_ = true;
        ReadMaster();  // takes the flush's status byte
    }
    droppedFromNet_ += settled_;
    down_.Consumed(settled_);
    DrainSocket(socketSettled_);
    StartSession();
}

SlaveDiscard VirtualPort::DiscardTtyInput(bool held) {
    watcher_.Mute(watch_, pty_.SlavePath());
    SlaveDiscard discarded = pty_.DiscardSlaveInput(held);
    watcher_.Unmute(watch_, pty_.SlavePath());
    // A program that opened the port meanwhile went unreported.
    lookAgain_ = true;
    return discarded;
}

void VirtualPort::SlaveOpened() {
    if (!ttyHup_) return;
    if (SlaveHeldOpen()) {
        StartSession();
    } else {
        // Opened and closed again before this look (or the service's own read-out): collect
        // what it wrote. It was given nothing, so nothing of it is left to drop.
        ReadMaster();
    }
}

void VirtualPort::OnSlaveEvent(int wd, SlaveWatcher::Event event) {
    if (event == SlaveWatcher::Event::kLost) {
        lookAgain_ = true;
        return;
    }
    if (wd != watch_ || wd < 0) return;
    switch (event) {
        case SlaveWatcher::Event::kOpened:
            if (ttyHup_) {
                SlaveOpened();
            } else if (allClosed_) {
                RestartSession();
            } else if (!openUnreported_) {
                ++holders_;
            }
            openUnreported_ = false;
            break;
        case SlaveWatcher::Event::kClosed:
            if (!ttyHup_ && holders_ > 0 && --holders_ == 0) allClosed_ = true;
            break;
        case SlaveWatcher::Event::kRead:
            mayWrite_ = true;
            break;
        case SlaveWatcher::Event::kLost:
            break;
    }
}

void VirtualPort::AfterSlaveEvents() {
    if (lookAgain_) {
        lookAgain_ = false;
        if (ttyHup_) {
            SlaveOpened();
        } else if (!SlaveHeldOpen()) {
            EndSession();
        }
    }
    if (allClosed_ && !SlaveHeldOpen()) {
        EndSession();
    } else if (allClosed_ && openTimer_ == 0) {
        // Nothing goes into the tty until the open is reported or the wait ends.
        openTimer_ = loop_.After(kOpenReportMs, [this] {
            openTimer_ = 0;
            if (!allClosed_) return;
            allClosed_ = false;  // a holder the count missed (merged reports)
            holders_ = 1;
            UpdateMasks();
        });
    }
    settled_ = down_.Size();
    socketSettled_ = SocketBacklog();
    UpdateMasks();
}

void VirtualPort::OnTtyStatus(uint8_t status) {
    if (status & TIOCPKT_FLUSHREAD) {
        if (ownFlush_) {
            ownFlush_ = false;
        } else {
            DropDown();
            DrainSocket();
        }
    }
    if (status & TIOCPKT_FLUSHWRITE) DropUp();
}

void VirtualPort::DropDown() {
    droppedFromNet_ += down_.Size();
    down_.Clear();
    settled_ = 0;
}

void VirtualPort::DropUp() {
    droppedToNet_ += up_.Size();
    up_.Clear();
}

}  // namespace vspd
