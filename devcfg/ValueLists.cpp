#include "devcfg/ValueLists.h"

std::optional<int> ValueList::PositionOf(int64_t value) const {
    if (values_.empty()) {
        if (value < 0 || value >= count_) return std::nullopt;
        return static_cast<int>(value);
    }
    for (size_t i = 0; i < values_.size(); ++i) {
        if (values_[i] == value) return static_cast<int>(i);
    }
    return std::nullopt;
}

std::optional<int> ValueList::ValueAt(int position) const {
    if (position < 0 || position >= Size()) return std::nullopt;
    return values_.empty() ? position : values_[position];
}
