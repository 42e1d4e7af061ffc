#pragma once

#include <cstdint>
#include <optional>
#include <vector>

// The work of a restore or reboot: the ticked rows are sent their command one after another,
// each until it acknowledges, at most kMaxSends times, two ticks apart. The retry counter is
// the one the device manager's flows share.
//
// Each command sent expects one acknowledgement, from the address it was sent to: a second
// acknowledgement, or one from another device, is not counted, so a device that answers twice
// cannot make the next device be skipped.
class DmAckWork {
  public:
    static constexpr int kMaxSends = 3;

    enum class Step {
        kSend,       // send the command to Current() now
        kWait,       // nothing to send at this tick
        kSucceeded,  // every device acknowledged
        kFailed,     // a device stayed silent
    };

    void Start(std::vector<int> rows);
    void Clear() { *this = DmAckWork(); }
    // One tick of the flow's timer.
    Step Tick(int& retry);
    // The row to send to after Tick returned kSend.
    int Current() const { return rows_[next_]; }
    // The command for Current() went to this address (host order).
    void Sent(uint32_t address) { awaiting_ = address; }
    // An acknowledgement from `sender`; true when it counted.
    bool Acknowledge(uint32_t sender);

    int RowCount() const { return static_cast<int>(rows_.size()); }
    int Waiting() const { return waiting_; }

  private:
    std::vector<int> rows_;
    size_t next_ = 0;
    int waiting_ = 0;
    bool sendNext_ = false;
    bool acknowledged_ = false;
    std::optional<uint32_t> awaiting_;
};
