#pragma once

// A list colour as red, green, blue: what the flows decide, which a view turns into a QColor.
struct Rgb {
    int r = 0;
    int g = 0;
    int b = 0;
    bool operator==(const Rgb&) const = default;
};
