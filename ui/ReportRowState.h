#pragma once

// Row state filters of the report list, for counting and deleting rows. A row's state holds
// exactly one bit of each pair; a filter other than kAll matches a row whose state holds all
// of the filter's bits.
namespace ReportRows {

constexpr unsigned kAll = 1;
constexpr unsigned kSelected = 2;
constexpr unsigned kNotSelected = 4;
constexpr unsigned kChecked = 8;
constexpr unsigned kNotChecked = 16;
constexpr unsigned kFocused = 32;
constexpr unsigned kNotFocused = 64;

constexpr unsigned StateOf(bool selected, bool checked, bool focused) {
    return (selected ? kSelected : kNotSelected) | (checked ? kChecked : kNotChecked) |
           (focused ? kFocused : kNotFocused);
}

constexpr bool Matches(unsigned state, unsigned filter) {
    return filter == kAll || (state & filter) == filter;
}

}  // namespace ReportRows
