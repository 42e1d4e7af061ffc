#pragma once

#include <QColor>

#include "ui/Rgb.h"

inline QColor ToColor(const Rgb& rgb) {
    return QColor(rgb.r, rgb.g, rgb.b);
}
