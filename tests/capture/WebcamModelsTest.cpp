#include "brevicam/capture/WebcamModels.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace
{
struct PathCase
{
    const char* name;
    const char* path;
    bool parsed;
    const char* vendorId;
    const char* productId;
};

class DevicePathTest : public testing::TestWithParam<PathCase>
{
};

TEST_P(DevicePathTest, IdsAreReadAsTheDevicePathCarriesThem)
{
    const PathCase& c = GetParam();
    CString vendorId = "unset";
    CString productId = "unset";
    EXPECT_EQ(ParseDevicePathIds(c.path, &vendorId, &productId), c.parsed);
    if (c.parsed)
    {
        EXPECT_EQ(vendorId, c.vendorId);
        EXPECT_EQ(productId, c.productId);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Paths, DevicePathTest,
    testing::Values(
        PathCase{"LowerCaseIdsBecomeUpperCase",
                 "\\\\?\\usb#vid_046d&pid_082d&mi_00#6&2a3b4c5d&0&0000#{65e8773d-8f56-11d0-a3b9-00a0c9223196}"
                 "\\global",
                 true, "046D", "082D"},
        PathCase{"ProductIdRunsToTheNextAmpersandAndIsCut", "\\\\?\\usb#vid_046d&pid_0825#7&1a2b&0#{x}", true,
                 "046D", "0825"},
        PathCase{"IdsAtTheVeryEnd", "usb#vid_1d6b&pid_0104", true, "1D6B", "0104"},
        PathCase{"ShortVendorTokenIsKept", "usb#vid_46d&pid_0825&mi_00", true, "46D", "0825"},
        PathCase{"UpperCaseSearchTextsAreNotFound", "\\\\?\\USB#VID_046D&PID_0825&MI_00#6&0#{x}", false, "",
                 ""},
        PathCase{"FewerThanFourCharactersAfterVid", "usb#vid_04", false, "", ""},
        PathCase{"FewerThanFourCharactersAfterPid", "usb#vid_046d&pid_082", false, "", ""},
        PathCase{"NoProductId", "\\\\?\\usb#vid_046d&mi_00#6&0#{x}", false, "", ""},
        PathCase{"NotAUsbCamera", "\\\\?\\v4l#video0#{65e8773d-8f56-11d0-a3b9-00a0c9223196}", false, "", ""}),
    [](const testing::TestParamInfo<PathCase>& info) { return std::string(info.param.name); });

struct ModelCase
{
    const char* name;
    const char* vendorId;
    const char* productId;
    bool accepted;
    int model;
};

class ModelRecognitionTest : public testing::TestWithParam<ModelCase>
{
};

TEST_P(ModelRecognitionTest, PairGivesItsModel)
{
    const ModelCase& c = GetParam();
    EXPECT_EQ(IsAcceptedDevice(c.vendorId, c.productId), c.accepted);
    EXPECT_EQ(FindWebcamModel(c.vendorId, c.productId), c.model);
}

INSTANTIATE_TEST_SUITE_P(Cameras, ModelRecognitionTest,
                         testing::Values(ModelCase{"LogitechC270", "046D", "0825", true, 1},
                                         ModelCase{"LogitechC920", "046D", "082D", true, 3},
                                         ModelCase{"LogitechC920LaterRevision", "046D", "08E5", true, 3},
                                         ModelCase{"LogitechC922", "046D", "085C", true, 15},
                                         ModelCase{"LifeCamHd3000", "045E", "0779", true, 12},
                                         ModelCase{"LifeCamHd3000LaterRevision", "045E", "0810", true, 12},
                                         ModelCase{"QuickCamPro9000WithButton", "046D", "0990", true, 24},
                                         ModelCase{"VirtualCamera", "1D6B", "0104", true, 25},
                                         ModelCase{"ListedWithoutModel", "046D", "0843", true, 0},
                                         ModelCase{"LowerCaseIsNotTheSame", "046d", "0825", false, 0},
                                         ModelCase{"VendorOfAnotherCamera", "045E", "0825", false, 0},
                                         ModelCase{"UnknownCamera", "1234", "5678", false, 0}),
                         [](const testing::TestParamInfo<ModelCase>& info)
                         { return std::string(info.param.name); });

TEST(WebcamModelTablesTest, ModelRowsAreListedAndFourMoreCamerasWithoutModel)
{
    // Four upper-case hexadecimal digits.
    auto isId = [](std::string_view id)
    { return id.size() == 4 && id.find_first_not_of("0123456789ABCDEF") == std::string_view::npos; };
    std::set<std::pair<std::string, std::string>> accepted;
    for (const tagUsbIdPair& pair : g_acceptedDevices)
    {
        EXPECT_TRUE(isId(pair.vendorId)) << pair.vendorId;
        EXPECT_TRUE(isId(pair.productId)) << pair.productId;
        accepted.emplace(pair.vendorId, pair.productId);
    }
    EXPECT_EQ(accepted.size(), 32u);
    std::map<int, int> rowsPerModel;
    std::set<std::pair<std::string, std::string>> modelPairs;
    for (const tagWebcamModelRow& row : g_webcamModelRows)
    {
        EXPECT_TRUE(accepted.count({row.vendorId, row.productId})) << row.vendorId << ":" << row.productId;
        modelPairs.emplace(row.vendorId, row.productId);
        ++rowsPerModel[row.model];
    }
    EXPECT_EQ(modelPairs.size(), 28u);
    ASSERT_EQ(rowsPerModel.size(), 25u);
    EXPECT_EQ(rowsPerModel.begin()->first, 1);
    EXPECT_EQ(rowsPerModel.rbegin()->first, 25);
    int twoRowModels = 0;
    for (auto [model, rows] : rowsPerModel)
        twoRowModels += rows == 2 ? 1 : 0;
    EXPECT_EQ(twoRowModels, 3);
}

std::vector<CResolution> Sizes(const std::set<CResolution>& set)
{
    return std::vector<CResolution>(set.begin(), set.end());
}

std::string Describe(const std::set<CResolution>& set)
{
    std::string text;
    for (const CResolution& size : set)
        text += std::to_string(size.m_width) + "x" + std::to_string(size.m_height) +
                (size.m_interpolated ? "i " : " ");
    return text;
}

class SizeTableTest : public testing::TestWithParam<int>
{
};

TEST_P(SizeTableTest, RowsStartAtVgaAndHoldNoTwoSizesOfEqualArea)
{
    const int model = GetParam();
    const tagPhotoSizeRow& photo = g_photoSizeRows[model - 1];
    const tagVideoSizeRow& video = g_videoSizeRows[model - 1];
    ASSERT_EQ(photo.model, model);
    ASSERT_EQ(video.model, model);

    // Every size a row can produce, with the native 640 x 480 the set starts from.
    std::vector<std::pair<int, int>> produced{{640, 480}};
    if (photo.generated)
    {
        for (float factor = 1.0f; static_cast<double>(factor) < photo.bound;
             factor = static_cast<float>(factor + 0.25))
            produced.emplace_back(static_cast<int>(photo.baseWidth * factor),
                                  static_cast<int>(photo.baseHeight * factor));
    }
    else
    {
        EXPECT_GE(photo.extraCount, 1);
        EXPECT_LE(photo.extraCount, 3);
    }
    for (int i = 0; i < photo.extraCount; ++i)
        produced.emplace_back(photo.extra[i].width, photo.extra[i].height);
    for (int i = 0; i < video.extraCount; ++i)
        produced.emplace_back(video.extra[i].width, video.extra[i].height);
    for (size_t i = 0; i < produced.size(); ++i)
    {
        for (size_t j = i + 1; j < produced.size(); ++j)
        {
            if (produced[i] == produced[j])
                continue;
            EXPECT_NE(produced[i].first * produced[i].second, produced[j].first * produced[j].second)
                << produced[i].first << "x" << produced[i].second << " and " << produced[j].first << "x"
                << produced[j].second;
        }
    }

    std::set<CResolution> sizes{CResolution(640, 480, false)};
    ApplyPhotoSizeRow(model, sizes);
    ASSERT_FALSE(sizes.empty());
    EXPECT_EQ(sizes.count(CResolution(640, 480, false)), 1u);
    EXPECT_EQ(sizes.find(CResolution(640, 480, false))->m_interpolated, 0) << Describe(sizes);

    if (video.empty)
    {
        std::set<CResolution> before{CResolution(1280, 720, false), CResolution(640, 480, false)};
        std::set<CResolution> after = before;
        ApplyVideoSizeRow(model, after);
        EXPECT_EQ(Sizes(after).size(), Sizes(before).size());
    }
    else
    {
        std::set<CResolution> recorded{CResolution(4000, 3000, false)};
        ApplyVideoSizeRow(model, recorded);
        EXPECT_EQ(recorded.size(), 1u + static_cast<size_t>(video.extraCount)) << Describe(recorded);
        EXPECT_EQ(recorded.count(CResolution(4000, 3000, false)), 0u);
        EXPECT_LE(video.extraCount, 2);
    }
}

INSTANTIATE_TEST_SUITE_P(Models, SizeTableTest, testing::Range(1, 26),
                         [](const testing::TestParamInfo<int>& info)
                         { return "Model" + std::to_string(info.param); });

TEST(WebcamModelTablesTest, TwoPhotoRowsAreGeneratedAndTwoVideoRowsEmpty)
{
    int generated = 0;
    for (const tagPhotoSizeRow& row : g_photoSizeRows)
        generated += row.generated ? 1 : 0;
    int empty = 0;
    for (const tagVideoSizeRow& row : g_videoSizeRows)
        empty += row.empty ? 1 : 0;
    EXPECT_EQ(generated, 2);
    EXPECT_EQ(empty, 2);
}

TEST(WebcamModelTablesTest, GeneratedRowKeepsTheSetAndStepsByQuarters)
{
    // Model 7 steps 640 x 480 up to twice its size; the native 640 x 480 already there wins over the
    // interpolated one of the same area, and what the set held stays.
    std::set<CResolution> sizes{CResolution(640, 480, false), CResolution(320, 240, false)};
    ApplyPhotoSizeRow(7, sizes);
    std::vector<std::tuple<int, int, int>> got;
    for (const CResolution& size : sizes)
        got.emplace_back(size.m_width, size.m_height, size.m_interpolated);
    std::vector<std::tuple<int, int, int>> expected{{320, 240, 0},  {640, 480, 0},  {800, 600, 1},
                                                    {960, 720, 1},  {1120, 840, 1}, {1280, 960, 1},
                                                    {2592, 1944, 1}};
    EXPECT_EQ(got, expected);

    // A fixed row empties the set first.
    ApplyPhotoSizeRow(1, sizes);
    EXPECT_EQ(Describe(sizes), "640x480 1280x720 1600x1200i 2048x1536i ");
    // Model 0 and numbers without a row change nothing.
    ApplyPhotoSizeRow(0, sizes);
    ApplyVideoSizeRow(26, sizes);
    EXPECT_EQ(Describe(sizes), "640x480 1280x720 1600x1200i 2048x1536i ");
}
} // namespace
