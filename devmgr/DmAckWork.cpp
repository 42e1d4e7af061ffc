#include "devmgr/DmAckWork.h"

void DmAckWork::Start(std::vector<int> rows) {
    Clear();
    rows_ = std::move(rows);
    waiting_ = static_cast<int>(rows_.size());
    sendNext_ = true;
}

DmAckWork::Step DmAckWork::Tick(int& retry) {
    if (waiting_ == 0 || (retry >= kMaxSends && !sendNext_)) {
        retry = 0;
        sendNext_ = false;
        awaiting_.reset();
        // Success only when every device answered: a late acknowledgement after the last
        // resend must not turn the devices that were never sent into a success.
        return waiting_ == 0 && acknowledged_ ? Step::kSucceeded : Step::kFailed;
    }
    if (sendNext_ && retry < kMaxSends) {
        if (acknowledged_) retry = 0;
        sendNext_ = false;
        acknowledged_ = false;
        return Step::kSend;
    }
    ++retry;
    if (retry < kMaxSends) sendNext_ = true;
    return Step::kWait;
}

bool DmAckWork::Acknowledge(uint32_t sender) {
    if (!awaiting_ || *awaiting_ != sender) return false;
    awaiting_.reset();
    ++next_;
    --waiting_;
    acknowledged_ = true;
    return true;
}
