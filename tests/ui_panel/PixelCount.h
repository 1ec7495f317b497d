#pragma once

// Counting the pixels of a drawn colour, for the tests of the capture windows' small parts. Header-only.

#include "tests/support/GdiTestSupport.h"

#include <QImage>

namespace ui_panel_test
{
/// Pixels of `image` within `tolerance` of `colour` in every channel.
inline int CountNear(const QImage& image, COLORREF colour, int tolerance)
{
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (testing_support::Near(testing_support::Pixel(image, x, y), colour, tolerance))
                ++count;
    return count;
}
} // namespace ui_panel_test
