#pragma once

#include <cstdint>
#include <string>

// The pseudo-terminal behind one virtual port. The service holds the master; programs
// open the slave through the port's COM link.
//
// A master whose slave has been opened and closed again reports POLLHUP (and read() fails
// with EIO) until the slave is opened anew; a fresh master does not. Create therefore opens
// and closes the slave once, so that "no POLLHUP" means exactly "another program has the
// tty open". The port lives on one pseudo-terminal for the service's life, so that its
// line settings, its exclusive flag and its path stay as on any tty.
namespace vspd {

struct SlaveDiscard {
    uint64_t bytes = 0;
    bool flushStatus = false;  // the master in packet mode reads a flush status for it
};

class PtyDevice {
  public:
    PtyDevice() = default;
    ~PtyDevice();
    PtyDevice(const PtyDevice&) = delete;
    PtyDevice& operator=(const PtyDevice&) = delete;

    // Non-blocking master in packet mode (reads start with a status byte), raw line
    // settings (data passes unchanged until a program sets others), slave unlocked and in
    // the hung-up state.
    bool Create(std::string* error);
    // Drops what waits in the slave for a reader and says how much that was. Opens the
    // slave read-only for a moment. A program may hold it (held) and read meanwhile: what
    // it reads is its own.
    SlaveDiscard DiscardSlaveInput(bool held);
    int Master() const { return master_; }
    const std::string& SlavePath() const { return slavePath_; }
    bool SlaveHeldOpen() const;

  private:
    int master_ = -1;
    std::string slavePath_;
};

// COM links: COMn in the COM directory, a symbolic link to the port's tty.
std::string ComName(unsigned number);
// Replaces any link of that name atomically (symlink under a temporary name, rename).
bool PlaceLink(const std::string& dir, const std::string& name, const std::string& target,
               std::string* error);
// Removes the entry only when it is a symbolic link.
void RemoveLink(const std::string& dir, const std::string& name);
// Removes the entry only when it is a symbolic link to target.
void RemoveLinkTo(const std::string& dir, const std::string& name, const std::string& target);
// The COM number of a COMn directory entry, or 0.
unsigned ComNumberOfName(const std::string& name);

}  // namespace vspd
