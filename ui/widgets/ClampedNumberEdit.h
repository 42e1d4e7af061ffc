#pragma once

#include <QLineEdit>

#include "ui/NumberLimits.h"

// An unsigned number box kept within a range. Only digits can be typed, and typing is never
// corrected (a partial "4" on the way to 4001 stays 4): the range applies when the edit is
// finished (Enter, or the focus leaving the box) and when the program reads the value. The box
// then shows the value that is used.
class ClampedNumberEdit : public QLineEdit {
    Q_OBJECT

  public:
    explicit ClampedNumberEdit(NumberLimits limits, QWidget* parent = nullptr);

    // Clamps what the box holds, shows it and returns it: what a command is to use.
    uint32_t Value();
    // Shows `value`, clamped.
    void SetValue(uint32_t value);
    NumberLimits Limits() const { return limits_; }

  signals:
    // The user finished an edit; `value` is the clamped value now shown.
    void ValueCommitted(uint32_t value);

  protected:
    void focusOutEvent(QFocusEvent* event) override;

  private:
    void Finish();
    NumberLimits limits_;
};
