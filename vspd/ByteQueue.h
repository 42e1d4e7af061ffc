#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

// A fixed-capacity byte buffer between one reader and one writer descriptor. Its bound
// is the backpressure: when it is full, the side that fills it stops reading.
namespace vspd {

class ByteQueue {
  public:
    explicit ByteQueue(size_t capacity) : data_(capacity) {}

    const uint8_t* ReadPtr() const { return data_.data() + head_; }
    size_t Size() const { return tail_ - head_; }
    bool Empty() const { return head_ == tail_; }
    size_t Capacity() const { return data_.size(); }

    // Contiguous room at the end, after moving the unread bytes to the front when that
    // gains room.
    uint8_t* WritePtr() {
        if (head_ > 0 && tail_ == data_.size()) {
            std::memmove(data_.data(), data_.data() + head_, Size());
            tail_ -= head_;
            head_ = 0;
        }
        return data_.data() + tail_;
    }
    size_t Room() const { return data_.size() - tail_ + head_; }
    size_t ContiguousRoom() const { return data_.size() - tail_; }

    void Produced(size_t n) { tail_ += n; }
    void Consumed(size_t n) {
        head_ += n;
        if (head_ == tail_) head_ = tail_ = 0;
    }
    void Clear() { head_ = tail_ = 0; }

  private:
    std::vector<uint8_t> data_;
    size_t head_ = 0;
    size_t tail_ = 0;
};

}  // namespace vspd
