#include "Quantizer.h"

#include "Codecs.h"

#include <queue>

#include <algorithm>
#include <cstring>
#include <limits>

namespace platform::image::detail
{
namespace
{
// Leaves kept while colours arrive. Far more than the table needs, so that the final choice of what to
// merge sees the whole picture rather than the first rows.
constexpr unsigned WorkingLeaves = 4096;
} // namespace

struct Octree::Node
{
    std::uint64_t count = 0;
    std::uint64_t red = 0;
    std::uint64_t green = 0;
    std::uint64_t blue = 0;
    std::unique_ptr<Node> children[8];
    Node* parent = nullptr;
    bool leaf = false;
    bool listed = false;

    // The squared error that merging the children (all leaves) into this node adds.
    double MergeCost() const
    {
        std::uint64_t n = count, r = red, g = green, b = blue;
        for (const auto& child : children)
            if (child)
            {
                n += child->count;
                r += child->red;
                g += child->green;
                b += child->blue;
            }
        if (n == 0)
            return 0.0;
        const double mr = static_cast<double>(r) / n, mg = static_cast<double>(g) / n,
                     mb = static_cast<double>(b) / n;
        double cost = 0.0;
        for (const auto& child : children)
            if (child && child->count)
            {
                const double c = static_cast<double>(child->count);
                const double dr = child->red / c - mr, dg = child->green / c - mg, db = child->blue / c - mb;
                cost += c * (dr * dr + dg * dg + db * db);
            }
        return cost;
    }

    bool ChildrenAreLeaves() const
    {
        bool any = false;
        for (const auto& child : children)
            if (child)
            {
                if (!child->leaf)
                    return false;
                any = true;
            }
        return any;
    }

    // Folds the children into this node, which becomes a leaf; returns how many there were.
    unsigned Merge()
    {
        unsigned merged = 0;
        for (auto& child : children)
        {
            if (!child)
                continue;
            count += child->count;
            red += child->red;
            green += child->green;
            blue += child->blue;
            ++merged;
            child.reset();
        }
        leaf = true;
        return merged;
    }
};

Octree::Octree(unsigned maxColors, unsigned colorBits)
    : m_maxColors(std::clamp(maxColors, 1u, 256u)), m_depth(std::clamp(colorBits, 1u, 8u)),
      m_root(std::make_unique<Node>()), m_reducible(m_depth)
{
}

Octree::~Octree() = default;

void Octree::Add(BYTE r, BYTE g, BYTE b)
{
    Node* node = m_root.get();
    for (unsigned level = 0; !node->leaf; ++level)
    {
        if (level == m_depth)
        {
            node->leaf = true;
            ++m_leafCount;
            break;
        }
        const unsigned shift = 7 - level;
        const unsigned child = (((r >> shift) & 1u) << 2) | (((g >> shift) & 1u) << 1) | ((b >> shift) & 1u);
        if (!node->listed)
        {
            node->listed = true;
            m_reducible[level].push_back(node);
        }
        if (!node->children[child])
        {
            node->children[child] = std::make_unique<Node>();
            node->children[child]->parent = node;
        }
        node = node->children[child].get();
    }
    node->count += 1;
    node->red += r;
    node->green += g;
    node->blue += b;
    while (m_leafCount > std::max(m_maxColors, WorkingLeaves) && ReduceDeepest())
    {
    }
}

bool Octree::ReduceDeepest()
{
    // While colours arrive, merge the lightest of the deepest inner nodes: cheap, and it keeps memory
    // bounded whatever the picture.
    unsigned level = m_depth;
    while (level > 0 && m_reducible[level - 1].empty())
        --level;
    if (level == 0)
        return false;
    auto& candidates = m_reducible[level - 1];
    auto weight = [](const Node* node)
    {
        std::uint64_t total = 0;
        for (const auto& child : node->children)
            if (child)
                total += child->count;
        return total;
    };
    auto best = candidates.begin();
    std::uint64_t bestWeight = std::numeric_limits<std::uint64_t>::max();
    for (auto it = candidates.begin(); it != candidates.end(); ++it)
    {
        const std::uint64_t w = weight(*it);
        if (w < bestWeight)
        {
            bestWeight = w;
            best = it;
        }
    }
    Node* node = *best;
    candidates.erase(best);
    node->listed = false;
    // The children of the deepest inner nodes are all leaves, so merging frees them whole.
    m_leafCount = m_leafCount - node->Merge() + 1;
    return true;
}

unsigned Octree::Finish()
{
    if (m_leafCount <= m_maxColors)
        return m_leafCount;
    // Merge, one at a time, whichever node's leaves cost least squared error to fold together.
    using Item = std::pair<double, Node*>;
    auto later = [](const Item& a, const Item& b) { return a.first > b.first; };
    std::priority_queue<Item, std::vector<Item>, decltype(later)> queue(later);
    auto visit = [&](auto&& self, Node* node) -> void
    {
        if (node->leaf)
            return;
        if (node->ChildrenAreLeaves())
        {
            queue.push({node->MergeCost(), node});
            return;
        }
        for (auto& child : node->children)
            if (child)
                self(self, child.get());
    };
    visit(visit, m_root.get());
    while (m_leafCount > m_maxColors && !queue.empty())
    {
        Node* node = queue.top().second;
        queue.pop();
        m_leafCount = m_leafCount - node->Merge() + 1;
        if (node->listed)
        {
            // A leaf must not be merged again by colours that arrive later.
            for (auto& level : m_reducible)
                std::erase(level, node);
            node->listed = false;
        }
        if (node->parent && node->parent->ChildrenAreLeaves())
            queue.push({node->parent->MergeCost(), node->parent});
    }
    return m_leafCount;
}

void Octree::Palette(RGBQUAD* out)
{
    Finish();
    unsigned n = 0;
    auto walk = [&](auto&& self, const Node* node) -> void
    {
        if (node->leaf)
        {
            if (node->count != 0)
            {
                out[n].rgbRed = static_cast<BYTE>((node->red + node->count / 2) / node->count);
                out[n].rgbGreen = static_cast<BYTE>((node->green + node->count / 2) / node->count);
                out[n].rgbBlue = static_cast<BYTE>((node->blue + node->count / 2) / node->count);
                out[n].rgbReserved = 0;
                ++n;
            }
            return;
        }
        for (const auto& child : node->children)
            if (child)
                self(self, child.get());
    };
    walk(walk, m_root.get());
}

unsigned OctreePalette(const CxImage& image, RGBQUAD* out, unsigned maxColors)
{
    Octree tree(maxColors, 8);
    for (DWORD y = 0; y < image.GetHeight(); ++y)
        for (DWORD x = 0; x < image.GetWidth(); ++x)
        {
            const RGBQUAD c = image.GetPixelColor(static_cast<long>(x), static_cast<long>(y));
            tree.Add(c.rgbRed, c.rgbGreen, c.rgbBlue);
        }
    const unsigned colours = tree.Finish();
    tree.Palette(out);
    return colours;
}
} // namespace platform::image::detail

using platform::image::detail::Octree;

CQuantizer::CQuantizer(UINT nMaxColors, UINT nColorBits)
    : m_maxColors(std::clamp(nMaxColors, 1u, 256u)), m_tree(std::make_unique<Octree>(nMaxColors, nColorBits))
{
}

CQuantizer::~CQuantizer() = default;

BOOL CQuantizer::ProcessImage(const void* hImage)
{
    if (hImage == nullptr)
        return FALSE;
    const BYTE* block = static_cast<const BYTE*>(hImage);
    BITMAPINFOHEADER header;
    std::memcpy(&header, block, sizeof header);
    std::string error;
    const DWORD height = header.biHeight < 0 ? static_cast<DWORD>(-static_cast<std::int64_t>(header.biHeight))
                                             : static_cast<DWORD>(header.biHeight);
    if (header.biSize < sizeof header || header.biSize > 4096 || header.biCompression != BI_RGB ||
        header.biWidth <= 0 || platform::image::PackedDibSize(header) == 0 ||
        !platform::image::detail::CheckDimensions(static_cast<DWORD>(header.biWidth), height, error))
        return FALSE;
    const unsigned bpp = header.biBitCount;
    if (bpp != 8 && bpp != 24 && bpp != 32)
        return FALSE;
    const DWORD colours = bpp == 8 ? (header.biClrUsed ? header.biClrUsed : 256) : 0;
    RGBQUAD table[256] = {};
    std::memcpy(table, block + header.biSize, colours * sizeof(RGBQUAD));
    const BYTE* bits = block + header.biSize + colours * sizeof(RGBQUAD);
    const std::size_t stride = platform::image::DibStride(static_cast<std::size_t>(header.biWidth), bpp);
    for (DWORD y = 0; y < height; ++y)
    {
        const BYTE* row = bits + y * stride;
        for (LONG x = 0; x < header.biWidth; ++x)
        {
            if (bpp == 8)
            {
                const RGBQUAD& c = table[row[x]];
                m_tree->Add(c.rgbRed, c.rgbGreen, c.rgbBlue);
            }
            else
            {
                const BYTE* p = row + static_cast<std::size_t>(x) * (bpp / 8);
                m_tree->Add(p[2], p[1], p[0]);
            }
        }
    }
    return TRUE;
}

UINT CQuantizer::GetColorCount() const
{
    return m_tree->Finish();
}

void CQuantizer::SetColorTable(RGBQUAD* prgb) const
{
    if (prgb == nullptr)
        return;
    std::memset(prgb, 0, m_maxColors * sizeof(RGBQUAD));
    m_tree->Palette(prgb);
}
