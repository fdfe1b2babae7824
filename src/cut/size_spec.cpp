// Size specifications.

#include "cut/size_spec.h"

#include <cerrno>
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "error/fatal.h"
#include "util/strings.h"

static_assert(LDBL_MANT_DIG == 64,
              "sizes are computed in the 80-bit extended format; long double must be that format");

namespace kerfo {
namespace {

using Extended = long double;

// Truncates toward zero into the int range; beyond it the value is held at the
// nearer end, and a value that is not a number gives 0.
int TruncateToInt(Extended value) {
    if (std::isnan(value)) {
        return 0;
    }
    if (value >= static_cast<Extended>(INT_MAX)) {
        return INT_MAX;
    }
    if (value <= static_cast<Extended>(INT_MIN)) {
        return INT_MIN;
    }
    return static_cast<int>(value);
}

// The leading whole number as atoi reads it, held at the ends of the int range.
int LeadingWholeNumber(const char* text) {
    errno = 0;
    const long long value = std::strtoll(text, nullptr, 10);
    if (value > INT_MAX) {
        return INT_MAX;
    }
    if (value < INT_MIN) {
        return INT_MIN;
    }
    return static_cast<int>(value);
}

bool EndsWith(const char* text, std::size_t length, const char* tail) {
    const std::size_t tailLength = std::strlen(tail);
    return length >= tailLength && CompareNoCase(text + length - tailLength, tail) == 0;
}

}  // namespace

SizeUnit SizeSpecUnit(const char* text) {
    const std::size_t length = std::strlen(text);
    if (EndsWith(text, length, "cm")) {
        return SizeUnit::Centimetres;
    }
    if (EndsWith(text, length, "mm")) {
        return SizeUnit::Millimetres;
    }
    if (EndsWith(text, length, "in")) {
        return SizeUnit::Inches;
    }
    if (EndsWith(text, length, "%")) {
        return SizeUnit::Percent;
    }
    return SizeUnit::Pixels;
}

int SizeToPixels(const char* text, int dimension, int dpi) {
    const SizeUnit unit = SizeSpecUnit(text);
    if (unit == SizeUnit::Pixels) {
        return LeadingWholeNumber(text);
    }
    // atof's double, then every step rounded to the extended format, left to right.
    const Extended number = std::strtod(text, nullptr);
    switch (unit) {
        case SizeUnit::Centimetres:
            return TruncateToInt(number / 2.54L * dpi);
        case SizeUnit::Millimetres:
            return TruncateToInt(number / 25.4L * dpi);
        case SizeUnit::Inches:
            return TruncateToInt(number * dpi);
        case SizeUnit::Percent:
            return TruncateToInt(number / 100 * dimension);
        case SizeUnit::Pixels:
            break;
    }
    return 0;
}

void RequireResolution(const char* sizeText, int dpi, const char* input) {
    if (dpi == 0 && IsPhysicalUnit(SizeSpecUnit(sizeText))) {
        Fatal(
            "Size %s can't be used: %s has no resolution, so a size in in, cm or mm has no "
            "length in pixels. Give the size in pixels or %%.",
            sizeText, input);
    }
}

int DotsPerInch(std::uint32_t dotsPerMetre) {
    const Extended dpi = static_cast<Extended>(dotsPerMetre) / 1000 * 25.4L + 0.9999L;
    return static_cast<int>(dpi);
}

}  // namespace kerfo
