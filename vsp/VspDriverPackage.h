#pragma once

#include <QByteArrayView>
#include <QString>
#include <cstdint>
#include <optional>

// The driver package's INF text, read the way the installation reads it: the first line of
// [Manufacturer] names the models section (field 1, or "field1.field2" when the line has a
// field 2); the first line of that section carries the hardware IDs from field 2 on.
namespace vspinf {

// Error codes of the setup interface for what the search can miss.
inline constexpr uint32_t kSectionNotFound = 0xE0000101;
inline constexpr uint32_t kLineNotFound = 0xE0000102;

// The first hardware ID (empty when the model line has none), or nullopt with *error set.
std::optional<QString> FirstHardwareId(QByteArrayView infText, uint32_t* error);

}  // namespace vspinf
