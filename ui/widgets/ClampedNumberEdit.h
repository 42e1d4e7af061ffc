#pragma once

#include "ui/NumberLimits.h"
#include "ui/widgets/CommitNumberEdit.h"

// An unsigned number box kept within a range: typing is never corrected (a partial "4" on the
// way to 4001 stays 4); the range applies when the edit is finished and when the program reads
// the value. The box then shows the value that is used.
class ClampedNumberEdit : public CommitNumberEdit {
    Q_OBJECT

  public:
    explicit ClampedNumberEdit(NumberLimits limits, QWidget* parent = nullptr);

    // Clamps what the box holds, shows it and returns it: what a command is to use.
    uint32_t Value() { return static_cast<uint32_t>(Commit()); }
    // Shows `value`, clamped.
    void SetValue(uint32_t value) { CommitNumberEdit::SetValue(limits_.Clamp(value)); }
    NumberLimits Limits() const { return limits_; }

  private:
    NumberLimits limits_;
};
