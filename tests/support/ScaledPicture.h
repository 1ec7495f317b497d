#pragma once

// Checks a picture drawn scaled into a window against the picture itself, pixel by pixel, for the tests of
// bitmap drawing and of the live picture: nothing may come out flipped, shifted, clipped or spilled over.
// Header-only.

#include "platform/win/WinTypes.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <sstream>
#include <string>

namespace testing_support
{
/// A picture as the colour of each pixel, top row first; any value above 0xFFFFFF for a point outside it.
using PixelAt = std::function<COLORREF(int x, int y)>;

inline constexpr COLORREF kNoPixel = 0xFF000000u;

struct ScaledPictureCheck
{
    /// Pixels of the target rectangle that were compared: those whose source lies in a one-coloured patch.
    int compared = 0;
    /// Compared pixels of another colour, and pixels outside the target that are not the outside colour.
    int wrong = 0;
    /// Where the first wrong pixel is and what it shows.
    std::string firstWrong;
};

/// Compares the `width` x `height` pixels of `shown` with rectangle `from` of `picture` drawn into rectangle
/// `to`. Each pixel of `to` whose source point lies in a patch of one colour, wide enough that no filter
/// could blend another colour in, must show that colour within `tolerance` per channel; each pixel outside
/// `to` must show `outside` exactly.
inline ScaledPictureCheck CompareScaledPicture(const PixelAt& shown, int width, int height,
                                               const PixelAt& picture, const RECT& from, const RECT& to,
                                               COLORREF outside, int tolerance = 2)
{
    ScaledPictureCheck check;
    const double scaleX = static_cast<double>(from.right - from.left) / (to.right - to.left);
    const double scaleY = static_cast<double>(from.bottom - from.top) / (to.bottom - to.top);
    // A smooth reduction reads source pixels up to about twice its ratio away from the mapped point.
    const int margin = 2 + 2 * static_cast<int>(std::ceil(std::max({scaleX, scaleY, 1.0})));
    const auto note = [&check](int x, int y, COLORREF got, COLORREF expected)
    {
        if (check.wrong++ != 0)
            return;
        std::ostringstream text;
        text << "(" << x << ", " << y << ") shows " << int{GetRValue(got)} << "," << int{GetGValue(got)}
             << "," << int{GetBValue(got)} << " instead of " << int{GetRValue(expected)} << ","
             << int{GetGValue(expected)} << "," << int{GetBValue(expected)};
        check.firstWrong = text.str();
    };
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
        {
            const COLORREF got = shown(x, y) & 0xFFFFFF;
            if (x < to.left || x >= to.right || y < to.top || y >= to.bottom)
            {
                if (got != outside)
                    note(x, y, got, outside);
                continue;
            }
            const int sx = from.left + static_cast<int>(std::floor((x - to.left + 0.5) * scaleX));
            const int sy = from.top + static_cast<int>(std::floor((y - to.top + 0.5) * scaleY));
            const COLORREF expected = picture(sx, sy);
            bool uniform = expected <= 0xFFFFFF;
            for (int dy = -margin; uniform && dy <= margin; ++dy)
                for (int dx = -margin; uniform && dx <= margin; ++dx)
                    uniform = picture(sx + dx, sy + dy) == expected;
            if (!uniform)
                continue;
            ++check.compared;
            if (std::abs(GetRValue(got) - GetRValue(expected)) > tolerance ||
                std::abs(GetGValue(got) - GetGValue(expected)) > tolerance ||
                std::abs(GetBValue(got) - GetBValue(expected)) > tolerance)
                note(x, y, got, expected);
        }
    return check;
}
} // namespace testing_support
