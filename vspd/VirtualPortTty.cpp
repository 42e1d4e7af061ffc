// The tty side of a virtual port: the pseudo-terminal master in packet mode, so that the
// program's flushes reach the service as status bytes.
#include <sys/epoll.h>
#include <sys/ioctl.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "vspd/Log.h"
#include "vspd/VirtualPort.h"

namespace vspd {
namespace {

constexpr int kReadsPerEvent = 8;    // then other descriptors get their turn
constexpr size_t kPtyBuffer = 4095;  // the most one read of a pty master returns
constexpr size_t kDiscardChunk = 16 * 1024;

uint8_t g_discard[kDiscardChunk];  // the service is single-threaded

}  // namespace

void VirtualPort::OnMaster(uint32_t events) {
    if ((events & (EPOLLHUP | EPOLLERR)) && !ttyHup_ && !SlaveHeldOpen()) EndSession();
    if (events & (EPOLLIN | EPOLLHUP | EPOLLERR)) ReadMaster();
    if (events & EPOLLOUT) WriteMaster();
    TakeDoorIfDone();
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
        ssize_t n = readv(tty_->pty.Master(), parts, 2);
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
    // The program may have flushed its input since the tty was last full: its status byte
    // comes first, so that nothing it dropped is written again.
    if (masterFull_) {
        masterFull_ = false;
        ReadMaster();
    }
    while (!down_.Empty() && !ttyHup_) {
        ssize_t n = write(tty_->pty.Master(), down_.ReadPtr(), down_.Size());
        if (n > 0) {
            down_.Consumed(static_cast<size_t>(n));
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else {
            masterFull_ = true;  // EPOLLOUT resumes
            break;
        }
    }
}

void VirtualPort::EndSession() {
    if (ttyHup_) return;
    ttyHup_ = true;
    masterFull_ = false;
    DropDown();
    DrainSocket();
    droppedFromNet_ += tty_->pty.DiscardSlaveInput();
}

std::unique_ptr<VirtualPort::Line> VirtualPort::NewLine(std::string* error) {
    auto line = std::make_unique<Line>(watcher_);
    if (!line->pty.Create(error)) return nullptr;
    line->watch = watcher_.Add(line->pty.SlavePath());
    return line;
}

void VirtualPort::WatchMaster() {
    masterWatch_ =
        FdWatch(loop_, tty_->pty.Master(), [this](uint32_t events) { OnMaster(events); });
}

void VirtualPort::OnSlaveEvent(int wd, SlaveWatcher::Event event) {
    bool lost = event == SlaveWatcher::Event::kLost;
    if (lost || wd == tty_->watch) SlaveOpened();
    if (door_ && (wd == door_->watch || (lost && door_->pty.SlaveHeldOpen()))) DoorOpened();
}

void VirtualPort::SlaveOpened() {
    if (!ttyHup_) return;
    if (SlaveHeldOpen()) {
        ttyHup_ = false;
        hupDrained_ = false;
        OpenDoor();
    } else {
        // Opened and closed again before this look (or the service's own read-out): collect
        // what it wrote. It was given nothing, so nothing of it is left to drop.
        ReadMaster();
        TakeDoorIfDone();
    }
    UpdateMasks();
}

void VirtualPort::OpenDoor() {
    if (door_) return;
    std::string error;
    door_ = NewLine(&error);
    if (!door_) {
        Log("%s: %s; a program that opens the port at once may meet old bytes", Name().c_str(),
            error.c_str());
    }
    if (onLinkMoved) onLinkMoved();
}

void VirtualPort::DoorOpened() {
    // The program may have gone before its hang-up was handled.
    if (!ttyHup_ && !SlaveHeldOpen()) EndSession();
    if (ttyHup_) {
        SlaveOpened();  // reads what it wrote last, then takes the door
    } else {
        RefuseDoor();
    }
}

void VirtualPort::RefuseDoor() {
    Log("%s: a second program opened the port while another holds it; it is refused",
        Name().c_str());
    // COMn leads to the next door before this one closes, so that it never dangles. What
    // the refused program wrote (all of it, if it has gone already) is not sent.
    std::unique_ptr<Line> refused = std::move(door_);
    OpenDoor();
    droppedToNet_ += refused->pty.DiscardMasterInput();
}

void VirtualPort::TakeDoorIfDone() {
    if (!ttyHup_ || !hupDrained_ || !door_) return;
    masterWatch_.Release();
    tty_ = std::move(door_);
    WatchMaster();
    // A program may have come through the door already, or come and gone.
    hupDrained_ = false;
    SlaveOpened();
}

void VirtualPort::OnTtyStatus(uint8_t status) {
    if (status & TIOCPKT_FLUSHREAD) {
        DropDown();
        DrainSocket();
    }
    if (status & TIOCPKT_FLUSHWRITE) DropUp();
}

void VirtualPort::DropDown() {
    droppedFromNet_ += down_.Size();
    down_.Clear();
}

void VirtualPort::DropUp() {
    droppedToNet_ += up_.Size();
    up_.Clear();
}

}  // namespace vspd
