#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>

// The fixed lists that the editor, the validation and the setting file share: the file
// stores a list position, the record the value. A value outside its list has no position.
class ValueList {
  public:
    constexpr ValueList(std::span<const int> values) : values_(values), count_(0) {}
    // A list whose position is the value itself, 0 .. count-1.
    constexpr explicit ValueList(int count) : values_(), count_(count) {}

    constexpr int Size() const { return values_.empty() ? count_ : static_cast<int>(values_.size()); }
    std::optional<int> PositionOf(int64_t value) const;
    std::optional<int> ValueAt(int position) const;

  private:
    std::span<const int> values_;
    int count_;
};

namespace lists {

inline constexpr std::array<int, 9> kBaudRateValues{921600, 115200, 57600, 38400, 19200,
                                                    9600,   4800,   2400,  1200};
inline constexpr std::array<int, 2> kDataBitsValues{7, 8};
inline constexpr std::array<int, 2> kStopBitsValues{1, 2};
inline constexpr std::array<int, 2> kWifiNetworkModeValues{1, 2};
inline constexpr std::array<int, 14> kWifiChannelValues{1, 2, 3,  4,  5,  6,  7,
                                                        8, 9, 10, 11, 12, 13, 14};

inline constexpr ValueList baudRate{kBaudRateValues};
inline constexpr ValueList dataBits{kDataBitsValues};
inline constexpr ValueList stopBits{kStopBitsValues};
inline constexpr ValueList parity{3};
inline constexpr ValueList flowControl{2};
inline constexpr ValueList wifiNetworkMode{kWifiNetworkModeValues};
inline constexpr ValueList wifiChannel{kWifiChannelValues};
inline constexpr ValueList wifiSecurity{3};
inline constexpr ValueList wepKeyIndex{4};
inline constexpr ValueList wepKeyLength{2};
inline constexpr ValueList smtpSecurity{3};
inline constexpr ValueList modbusTransferMode{2};
inline constexpr ValueList dhcpServerStatus{2};
inline constexpr ValueList timeZone{25};
inline constexpr ValueList wifiRf{2};

}  // namespace lists
