#pragma once
// Sizes given on the command line, and their conversion to whole pixels.
//
// A size is a number followed by an optional unit, read from the text's end
// without regard to letter case: "cm", "mm", "in", "%", or none for pixels.
// With a unit the number is read as atof reads it; without one, as atoi reads a
// whole number. Conversions run in the 80-bit extended format and truncate
// toward zero, so a value just below a whole number stays below it.

#include <cstdint>

namespace kerfo {

enum class SizeUnit { Pixels, Centimetres, Millimetres, Inches, Percent };

// The unit that the text's last characters name.
SizeUnit SizeSpecUnit(const char* text);

// True for the units that need the picture's resolution.
constexpr bool IsPhysicalUnit(SizeUnit unit) {
    return unit == SizeUnit::Centimetres || unit == SizeUnit::Millimetres ||
           unit == SizeUnit::Inches;
}

// The size in pixels along a dimension of the given length at dpi dots per
// inch. A result beyond the 32-bit range is held at its end.
int SizeToPixels(const char* text, int dimension, int dpi);

// Ends the run through Fatal when the size is in in, cm or mm and the picture
// (named input) has no resolution (dpi 0) to measure it by.
void RequireResolution(const char* sizeText, int dpi, const char* input);

// Whole dots per inch from the library's dots per metre: a value is raised to
// the next whole number unless it lies less than 0.0001 above one.
int DotsPerInch(std::uint32_t dotsPerMetre);

}  // namespace kerfo
