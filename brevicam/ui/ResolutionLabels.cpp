// The quality labels of the capture sizes, per webcam model and mode class.

#include "ResolutionLabels.h"

#include "resources/brevicam/resource.h"

#include <iterator>

namespace
{
using R = tagResolutionLabel;

constexpr R kVga{640, 480, IDS_RES_SD_480P};
constexpr R kSvga{800, 600, IDS_RES_SD_800X600};
constexpr R k720p{1280, 720, IDS_RES_HD_720P};
constexpr R k960{1280, 960, IDS_RES_HD_1280X960};
constexpr R kSxga13{1280, 1024, IDS_RES_HD_1_3MP};
constexpr R kSxga{1280, 1024, IDS_RES_HD_1280X1024};

struct Row
{
    /// The models sharing the row, 0-terminated.
    int models[8];
    int count;
    R sizes[4];
};

// Photo rows: the capture engine offers 640 x 480 to every model, then the model's own sizes; only the
// sizes with a label are listed.
constexpr Row kPhotoRows[] = {
    {{1, 3, 8, 12, 13, 14, 19, 21}, 2, {kVga, k720p}},
    {{25, 0}, 2, {kVga, k720p}},
    {{2, 0}, 3, {kVga, k720p, k960}},
    {{4, 5, 17, 0}, 3, {kVga, kSvga, kSxga13}},
    {{6, 7, 0}, 3, {kVga, kSvga, k960}},
    {{9, 23, 0}, 2, {kVga, kSxga13}},
    {{10, 16, 24, 0}, 1, {kVga}},
    {{11, 0}, 2, {kVga, kSvga}},
    {{15, 0}, 3, {kVga, kSvga, k720p}},
    {{18, 0}, 3, {kVga, k720p, kSxga}},
    {{20, 0}, 3, {kVga, kSvga, kSxga}},
    {{22, 0}, 2, {kVga, k960}},
};
constexpr Row kPhotoDefault{{0}, 2, {kVga, kSxga13}};

// Video rows. The two models that record at the sizes of the photo list only have no row of sizes.
constexpr Row kVideoRows[] = {
    {{1, 2, 18, 0}, 3, {kVga, kSvga, k720p}},
    {{3, 8, 12, 13, 14, 15, 19, 21}, 2, {kVga, k720p}},
    {{25, 0}, 2, {kVga, k720p}},
    {{4, 5, 9, 17, 20, 23, 24, 0}, 2, {kVga, kSvga}},
    {{6, 7, 11, 16, 0}, 1, {kVga}},
    {{10, 22, 0}, 0, {}},
};
constexpr Row kVideoDefault{{0}, 2, {kVga, kSvga}};

const Row& RowOf(int model, bool video)
{
    const std::span<const Row> rows =
        video ? std::span<const Row>(kVideoRows) : std::span<const Row>(kPhotoRows);
    if (model > 0)
        for (const Row& row : rows)
            for (int listed : row.models)
            {
                if (listed == model)
                    return row;
                if (listed == 0)
                    break;
            }
    return video ? kVideoDefault : kPhotoDefault;
}
} // namespace

std::span<const tagResolutionLabel> ResolutionLabelRow(int model, bool video)
{
    const Row& row = RowOf(model, video);
    return {row.sizes, static_cast<std::size_t>(row.count)};
}

UINT ResolutionLabelOf(int model, bool video, int width, int height)
{
    for (const tagResolutionLabel& entry : ResolutionLabelRow(model, video))
        if (entry.width == width && entry.height == height)
            return entry.label;
    return 0;
}
