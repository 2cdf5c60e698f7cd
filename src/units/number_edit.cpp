#include "units/number_edit.h"

#include <charconv>
#include <cmath>

namespace kf {

double numberEditValue(double x, int32_t min) {
    if (min != kNumberEditNoMin) {
        if (std::isnan(x)) return min;
        if (x < min) x = min;
        if (x > 2147483647.0) x = 2147483647.0;
    } else if (!std::isfinite(x)) {
        return 0.0;  // no text an edit could show and read back
    }
    // Fixed notation, 10 decimals; the trailing zeros the edit strips do not
    // change the number read back. The largest held value needs 21 characters.
    char text[400];
    auto w = std::to_chars(text, text + sizeof text, x, std::chars_format::fixed, 10);
    if (w.ec != std::errc()) return x;
    double back = 0.0;
    std::from_chars(text, w.ptr, back);
    return back;
}

}  // namespace kf
