#pragma once

#include <optional>
#include <string_view>

// Reading the record's text values into what a control can show. Records written from an
// element's feedback always hold sound values; a hand-edited or damaged one may not, and must
// neither crash the editor nor put a control outside its range.
namespace nms::editor::values {

// A decimal number: optional sign, digits with an optional fraction, surrounding blanks
// allowed. Anything else (empty text, letters, exponents, "inf") is not a number.
std::optional<double> readNumber(std::string_view text);

// Rounds to the nearest whole number, halves to the even neighbour (2.5 gives 2, 3.5 gives 4),
// whatever the floating-point environment says.
double roundHalfEven(double v);

// The whole number nearest to v, limited to [lo, hi] before any conversion, so that a huge
// stored value cannot overflow.
int clampedInt(double v, int lo, int hi);

// A list index for a list of `count` entries: -1 (no selection) for a text that is not a
// number or a number that names no entry.
int listIndexFrom(std::string_view text, int count);

// A value for a scroll bar of range [lo, hi]: out-of-range numbers are clamped; a text that is
// not a number takes `fallback` (the key's default), itself clamped.
int scrollValueFrom(std::string_view text, double fallback, int lo, int hi);

// A check state, 0 or 1: a number above 0 ticks the box; anything else leaves it clear.
int checkValueFrom(std::string_view text);

// Rounded to one decimal place, halves to even, as the unit labels show their figures.
double roundToTenth(double v);

}  // namespace nms::editor::values
