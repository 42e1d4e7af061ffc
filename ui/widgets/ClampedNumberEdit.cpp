#include "ui/widgets/ClampedNumberEdit.h"

ClampedNumberEdit::ClampedNumberEdit(NumberLimits limits, QWidget* parent)
    : CommitNumberEdit(
          kAnyDigits, [limits](qint64 typed) { return limits.Clamp(static_cast<uint32_t>(typed)); },
          parent),
      limits_(limits) {}
