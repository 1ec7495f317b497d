#pragma once

/// A capture size: width and height in pixels and whether the size is reached by scaling up a smaller
/// native size (1), delivered natively (0), or unknown because there is no native size to compare (-1).
/// Sizes compare by area alone; the flag plays no part in any comparison.
class CResolution
{
public:
    CResolution() = default;
    CResolution(int width, int height, bool interpolated)
        : m_width(width), m_height(height), m_interpolated(interpolated ? 1 : 0)
    {
    }

    bool operator<(const CResolution& other) const
    {
        // Widened so that no pair of sizes can overflow the product.
        return static_cast<long long>(m_width) * m_height <
               static_cast<long long>(other.m_width) * other.m_height;
    }
    bool operator==(const CResolution& other) const
    {
        return m_width == other.m_width && m_height == other.m_height;
    }
    bool operator!=(const CResolution& other) const { return !(*this == other); }

    int m_width = 0;
    int m_height = 0;
    int m_interpolated = 0;
};
