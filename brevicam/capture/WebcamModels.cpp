#include "WebcamModels.h"

namespace
{
constexpr tagSizeEntry N(int width, int height)
{
    return {width, height, false};
}
constexpr tagSizeEntry I(int width, int height)
{
    return {width, height, true};
}
} // namespace

// Widely sold UVC webcams, the twenty-eight rows of the model table first, then four cameras that are
// listed without a model of their own.
const tagUsbIdPair g_acceptedDevices[kAcceptedDeviceCount] = {
    {"046D", "0825"}, // Logitech C270
    {"046D", "081B"}, // Logitech C310
    {"046D", "082D"}, // Logitech C920
    {"046D", "08E5"}, // Logitech C920 (later revision)
    {"046D", "0802"}, // Logitech C200
    {"046D", "0804"}, // Logitech C250
    {"046D", "09A4"}, // Logitech QuickCam E3500
    {"046D", "082B"}, // Logitech C170
    {"046D", "0826"}, // Logitech C525
    {"045E", "00F5"}, // Microsoft LifeCam VX-3000
    {"045E", "00F7"}, // Microsoft LifeCam VX-1000
    {"045E", "0766"}, // Microsoft LifeCam VX-800
    {"045E", "0779"}, // Microsoft LifeCam HD-3000
    {"045E", "0810"}, // Microsoft LifeCam HD-3000 (later revision)
    {"045E", "075D"}, // Microsoft LifeCam Cinema
    {"045E", "0772"}, // Microsoft LifeCam Studio
    {"046D", "085C"}, // Logitech C922
    {"046D", "085E"}, // Logitech BRIO
    {"046D", "086B"}, // Logitech BRIO (stream edition)
    {"046D", "0819"}, // Logitech C210
    {"046D", "080A"}, // Logitech C905
    {"046D", "082C"}, // Logitech C615
    {"046D", "0805"}, // Logitech C300
    {"1532", "0E03"}, // Razer Kiyo
    {"1415", "2000"}, // Sony PlayStation Eye
    {"045E", "0761"}, // Microsoft LifeCam VX-2000
    {"046D", "0990"}, // Logitech QuickCam Pro 9000
    {"1D6B", "0104"}, // Brevicam virtual camera (Linux USB gadget ids)
    {"046D", "0843"}, // Logitech C930e
    {"046D", "085B"}, // Logitech C925e
    {"0FD9", "0078"}, // Elgato Facecam
    {"046D", "0893"}, // Logitech StreamCam
};

const tagWebcamModelRow g_webcamModelRows[kWebcamModelRowCount] = {
    {"046D", "0825", 1},  // Logitech C270
    {"046D", "081B", 2},  // Logitech C310
    {"046D", "082D", 3},  // Logitech C920
    {"046D", "08E5", 3},  // Logitech C920 (later revision)
    {"046D", "0802", 4},  // Logitech C200
    {"046D", "0804", 5},  // Logitech C250
    {"046D", "09A4", 6},  // Logitech QuickCam E3500
    {"046D", "082B", 7},  // Logitech C170
    {"046D", "0826", 8},  // Logitech C525
    {"045E", "00F5", 9},  // Microsoft LifeCam VX-3000
    {"045E", "00F7", 10}, // Microsoft LifeCam VX-1000
    {"045E", "0766", 11}, // Microsoft LifeCam VX-800
    {"045E", "0779", 12}, // Microsoft LifeCam HD-3000
    {"045E", "0810", 12}, // Microsoft LifeCam HD-3000 (later revision)
    {"045E", "075D", 13}, // Microsoft LifeCam Cinema
    {"045E", "0772", 14}, // Microsoft LifeCam Studio
    {"046D", "085C", 15}, // Logitech C922
    {"046D", "085E", 16}, // Logitech BRIO
    {"046D", "086B", 16}, // Logitech BRIO (stream edition)
    {"046D", "0819", 17}, // Logitech C210
    {"046D", "080A", 18}, // Logitech C905
    {"046D", "082C", 19}, // Logitech C615
    {"046D", "0805", 20}, // Logitech C300
    {"1532", "0E03", 21}, // Razer Kiyo
    {"1415", "2000", 22}, // Sony PlayStation Eye
    {"045E", "0761", 23}, // Microsoft LifeCam VX-2000
    {"046D", "0990", 24}, // Logitech QuickCam Pro 9000 (snapshot button)
    {"1D6B", "0104", 25}, // Brevicam virtual camera
};

// Every fixed row starts from 640 x 480 native; sizes beyond a camera's sensor are interpolated.
const tagPhotoSizeRow g_photoSizeRows[kWebcamModelCount] = {
    {1, false, 0, 0, 0, 3, {N(1280, 720), I(1600, 1200), I(2048, 1536)}},   // C270: 720p, 3 MP stills
    {2, false, 0, 0, 0, 3, {N(1280, 720), N(1280, 960), I(2592, 1944)}},    // C310: 5 MP stills
    {3, false, 0, 0, 0, 3, {N(1280, 720), N(1920, 1080), N(2304, 1536)}},   // C920
    {4, false, 0, 0, 0, 2, {I(800, 600), I(1280, 1024)}},                   // C200: VGA, 1.3 MP stills
    {5, false, 0, 0, 0, 3, {I(800, 600), I(1024, 768), I(1280, 1024)}},     // C250: VGA, 1.3 MP stills
    {6, false, 0, 0, 0, 2, {I(800, 600), I(1280, 960)}},                    // QuickCam E3500
    {7, true, 640, 480, 2.01, 1, {I(2592, 1944)}},                          // C170: VGA, steps to 5 MP
    {8, false, 0, 0, 0, 3, {N(960, 720), N(1280, 720), I(3264, 2448)}},     // C525: 8 MP stills
    {9, false, 0, 0, 0, 2, {N(352, 288), I(1280, 1024)}},                   // VX-3000: 1.3 MP stills
    {10, false, 0, 0, 0, 2, {N(320, 240), I(1024, 768)}},                   // VX-1000
    {11, true, 640, 480, 1.6, 1, {I(1280, 960)}},                           // VX-800: VGA, steps
    {12, false, 0, 0, 0, 3, {N(800, 448), N(1280, 720), I(2560, 1440)}},    // HD-3000
    {13, false, 0, 0, 0, 3, {N(960, 544), N(1280, 720), I(1920, 1080)}},    // LifeCam Cinema
    {14, false, 0, 0, 0, 3, {N(1280, 720), N(1920, 1080), I(2880, 1620)}},  // LifeCam Studio
    {15, false, 0, 0, 0, 3, {N(800, 600), N(1280, 720), N(1920, 1080)}},    // C922
    {16, false, 0, 0, 0, 3, {N(1920, 1080), N(2560, 1440), N(4096, 2160)}}, // BRIO
    {17, false, 0, 0, 0, 3, {N(352, 288), I(800, 600), I(1280, 1024)}},     // C210: 1.3 MP stills
    {18, false, 0, 0, 0, 3, {N(1024, 768), N(1280, 720), N(1280, 1024)}},   // C905: large sizes at 15 fps
    {19, false, 0, 0, 0, 3, {N(1280, 720), N(1920, 1080), I(3264, 2448)}},  // C615: 8 MP stills
    {20, false, 0, 0, 0, 2, {N(800, 600), N(1280, 1024)}},                  // C300: 1.3 MP sensor
    {21, false, 0, 0, 0, 3, {N(1280, 720), N(1920, 1080), I(2688, 1520)}},  // Razer Kiyo: 4 MP stills
    {22, false, 0, 0, 0, 2, {N(320, 240), I(1280, 960)}},                   // PlayStation Eye
    {23, false, 0, 0, 0, 2, {N(352, 288), I(1280, 1024)}},                  // VX-2000: 1.3 MP stills
    {24, false, 0, 0, 0, 3, {N(960, 720), N(1600, 1200), I(3264, 2448)}},   // QuickCam Pro 9000
    {25, false, 0, 0, 0, 3, {N(320, 240), N(1280, 720), I(1920, 1080)}},    // virtual camera
};

// Recording sizes; cameras whose video stays at their photo list have empty rows.
const tagVideoSizeRow g_videoSizeRows[kWebcamModelCount] = {
    {1, false, 2, {N(800, 600), N(1280, 720)}},     // C270
    {2, false, 2, {N(800, 600), N(1280, 720)}},     // C310
    {3, false, 2, {N(1280, 720), N(1920, 1080)}},   // C920
    {4, false, 2, {N(352, 288), I(800, 600)}},      // C200
    {5, false, 2, {N(320, 240), I(800, 600)}},      // C250
    {6, false, 1, {N(320, 240)}},                   // QuickCam E3500
    {7, false, 0, {}},                              // C170
    {8, false, 2, {N(960, 720), N(1280, 720)}},     // C525
    {9, false, 2, {N(352, 288), I(800, 600)}},      // VX-3000
    {10, true, 0, {}},                              // VX-1000
    {11, false, 0, {}},                             // VX-800
    {12, false, 2, {N(800, 448), N(1280, 720)}},    // HD-3000
    {13, false, 2, {N(960, 544), N(1280, 720)}},    // LifeCam Cinema
    {14, false, 2, {N(1280, 720), N(1920, 1080)}},  // LifeCam Studio
    {15, false, 2, {N(1280, 720), N(1920, 1080)}},  // C922
    {16, false, 2, {N(1920, 1080), N(3840, 2160)}}, // BRIO
    {17, false, 2, {N(352, 288), I(800, 600)}},     // C210
    {18, false, 2, {N(800, 600), N(1280, 720)}},    // C905
    {19, false, 2, {N(1280, 720), N(1920, 1080)}},  // C615
    {20, false, 1, {N(800, 600)}},                  // C300
    {21, false, 2, {N(1280, 720), N(1920, 1080)}},  // Razer Kiyo
    {22, true, 0, {}},                              // PlayStation Eye
    {23, false, 2, {N(352, 288), I(800, 600)}},     // VX-2000
    {24, false, 2, {N(800, 600), N(960, 720)}},     // QuickCam Pro 9000
    {25, false, 2, {N(320, 240), N(1280, 720)}},    // virtual camera
};

namespace
{
/// The token after `key` up to the next "&", upper-cased and cut to 4 characters.
bool IdAfter(const CString& path, const char* key, CString* id)
{
    int at = path.Find(key);
    if (at < 0 || at + 8 > path.GetLength())
        return false;
    int start = at + 4;
    int end = path.Find('&', start);
    CString token = end < 0 ? path.Mid(start) : path.Mid(start, end - start);
    token.MakeUpper();
    *id = token.Left(4);
    return true;
}

const tagPhotoSizeRow* PhotoRow(int model)
{
    for (const tagPhotoSizeRow& row : g_photoSizeRows)
        if (row.model == model)
            return &row;
    return nullptr;
}

const tagVideoSizeRow* VideoRow(int model)
{
    for (const tagVideoSizeRow& row : g_videoSizeRows)
        if (row.model == model)
            return &row;
    return nullptr;
}

void Insert(std::set<CResolution>& sizes, const tagSizeEntry& entry)
{
    sizes.insert(CResolution(entry.width, entry.height, entry.interpolated));
}
} // namespace

bool ParseDevicePathIds(const CString& devicePath, CString* vendorId, CString* productId)
{
    return IdAfter(devicePath, "vid_", vendorId) && IdAfter(devicePath, "pid_", productId);
}

bool IsAcceptedDevice(const CString& vendorId, const CString& productId)
{
    for (const tagUsbIdPair& pair : g_acceptedDevices)
        if (vendorId == pair.vendorId && productId == pair.productId)
            return true;
    return false;
}

int FindWebcamModel(const CString& vendorId, const CString& productId)
{
    for (const tagWebcamModelRow& row : g_webcamModelRows)
        if (vendorId == row.vendorId && productId == row.productId)
            return row.model;
    return 0;
}

void ApplyPhotoSizeRow(int model, std::set<CResolution>& sizes)
{
    const tagPhotoSizeRow* row = PhotoRow(model);
    if (!row)
        return;
    if (row->generated)
    {
        float factor = 1.0f;
        do
        {
            int width = static_cast<int>(static_cast<float>(row->baseWidth) * factor);
            int height = static_cast<int>(static_cast<float>(row->baseHeight) * factor);
            sizes.insert(CResolution(width, height, true));
            factor = static_cast<float>(static_cast<double>(factor) + 0.25);
        } while (static_cast<double>(factor) < row->bound);
    }
    else
    {
        sizes.clear();
        sizes.insert(CResolution(640, 480, false));
    }
    for (int i = 0; i < row->extraCount; ++i)
        Insert(sizes, row->extra[i]);
}

void ApplyVideoSizeRow(int model, std::set<CResolution>& sizes)
{
    const tagVideoSizeRow* row = VideoRow(model);
    if (!row || row->empty)
        return;
    sizes.clear();
    sizes.insert(CResolution(640, 480, false));
    for (int i = 0; i < row->extraCount; ++i)
        Insert(sizes, row->extra[i]);
}
