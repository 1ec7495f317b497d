#pragma once

#include "brevicam/core/Resolution.h"
#include "platform/win/CString.h"

#include <set>

/// The supported webcams: which USB cameras are listed, which model number each one is, and the photo and
/// video sizes each model offers. The rest of the program states its per-model rules by model number.

/// One USB id pair, each id 4 upper-case hexadecimal digits.
struct tagUsbIdPair
{
    const char* vendorId;
    const char* productId;
};

struct tagWebcamModelRow
{
    const char* vendorId;
    const char* productId;
    int model;
};

struct tagSizeEntry
{
    int width;
    int height;
    bool interpolated;
};

/// A photo size row. Fixed: the set is emptied, 640 x 480 native inserted, then `extra`. Generated: the
/// set is kept, base x factor (1.00, 1.25, ... while below `bound`) inserted as interpolated, then `extra`.
struct tagPhotoSizeRow
{
    int model;
    bool generated;
    int baseWidth;
    int baseHeight;
    double bound;
    int extraCount;
    tagSizeEntry extra[3];
};

/// A video size row. Fixed: the set is emptied, 640 x 480 native inserted, then `extra`. Empty: the set
/// stays as it is.
struct tagVideoSizeRow
{
    int model;
    bool empty;
    int extraCount;
    tagSizeEntry extra[2];
};

constexpr int kAcceptedDeviceCount = 32;
constexpr int kWebcamModelRowCount = 28;
constexpr int kWebcamModelCount = 25;

extern const tagUsbIdPair g_acceptedDevices[kAcceptedDeviceCount];
extern const tagWebcamModelRow g_webcamModelRows[kWebcamModelRowCount];
extern const tagPhotoSizeRow g_photoSizeRows[kWebcamModelCount];
extern const tagVideoSizeRow g_videoSizeRows[kWebcamModelCount];

/// The USB ids of a device path: the texts after "vid_" and "pid_" (searched case-sensitively from the
/// start) up to the next "&", upper-cased and cut to 4 characters. False when either search text is
/// missing or fewer than 4 characters follow it.
bool ParseDevicePathIds(const CString& devicePath, CString* vendorId, CString* productId);
/// Whether the pair is in the accepted-device list (exact comparison).
bool IsAcceptedDevice(const CString& vendorId, const CString& productId);
/// The model number of the first model row matching both ids, 0 when none does.
int FindWebcamModel(const CString& vendorId, const CString& productId);
/// Applies the photo or video size row of `model` to `sizes`; 0 or a number without a row changes nothing.
void ApplyPhotoSizeRow(int model, std::set<CResolution>& sizes);
void ApplyVideoSizeRow(int model, std::set<CResolution>& sizes);
