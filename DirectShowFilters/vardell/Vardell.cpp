// The classes of the video filter library and its registration.
#include "Mpeg4DecoderFilter.h"
#include "Mpeg4EncoderFilter.h"
#include "VideoEncoderBitrate.h"

#include "DirectShowFilters/FilterErrors.h"

namespace
{
constexpr const WCHAR* kEncoderName = L"Tavisk MPEG-4 Encoder";
constexpr const WCHAR* kDecoderName = L"Tavisk MPEG-4 Decoder";

constexpr GUID kFourCC(char a, char b, char c, char d)
{
    return FOURCCMap(MAKEFOURCC(a, b, c, d));
}

const GUID kDecoderSubtypes[] = {
    kFourCC('M', 'P', '4', 'V'), kFourCC('m', 'p', '4', 'v'), kFourCC('H', '2', '6', '3'),
    kFourCC('h', '2', '6', '3'), kFourCC('D', 'I', 'V', 'X'), kFourCC('d', 'i', 'v', 'x'),
    kFourCC('X', 'v', 'i', 'D'), kFourCC('x', 'v', 'i', 'd'), kFourCC('X', 'V', 'I', 'D')};

const AMOVIESETUP_MEDIATYPE kEncoderInputTypes[] = {
    {&MEDIATYPE_Video, &MEDIASUBTYPE_RGB24},  {&MEDIATYPE_Video, &MEDIASUBTYPE_ARGB32},
    {&MEDIATYPE_Video, &MEDIASUBTYPE_RGB555}, {&MEDIATYPE_Video, &MEDIASUBTYPE_RGB565},
    {&MEDIATYPE_Video, &MEDIASUBTYPE_UYVY},   {&MEDIATYPE_Video, &MEDIASUBTYPE_YUY2},
    {&MEDIATYPE_Video, &MEDIASUBTYPE_YUYV},   {&MEDIATYPE_Video, &MEDIASUBTYPE_IYUV},
    {&MEDIATYPE_Video, &MEDIASUBTYPE_YV12}};
const AMOVIESETUP_MEDIATYPE kDecoderInputTypes[] = {
    {&MEDIATYPE_Video, &kDecoderSubtypes[0]}, {&MEDIATYPE_Video, &kDecoderSubtypes[1]},
    {&MEDIATYPE_Video, &kDecoderSubtypes[2]}, {&MEDIATYPE_Video, &kDecoderSubtypes[3]},
    {&MEDIATYPE_Video, &kDecoderSubtypes[4]}, {&MEDIATYPE_Video, &kDecoderSubtypes[5]},
    {&MEDIATYPE_Video, &kDecoderSubtypes[6]}, {&MEDIATYPE_Video, &kDecoderSubtypes[7]},
    {&MEDIATYPE_Video, &kDecoderSubtypes[8]}};
const AMOVIESETUP_MEDIATYPE kAnyVideo[] = {{&MEDIATYPE_Video, &GUID_NULL}};

const AMOVIESETUP_PIN kEncoderPins[] = {
    {L"", FALSE, FALSE, FALSE, FALSE, &CLSID_NULL, nullptr, 9, kEncoderInputTypes},
    {L"", FALSE, TRUE, FALSE, FALSE, &CLSID_NULL, nullptr, 1, kAnyVideo},
};
const AMOVIESETUP_PIN kDecoderPins[] = {
    {L"", FALSE, FALSE, FALSE, FALSE, &CLSID_NULL, nullptr, 9, kDecoderInputTypes},
    {L"", FALSE, TRUE, FALSE, FALSE, &CLSID_NULL, nullptr, 1, kAnyVideo},
};

const AMOVIESETUP_FILTER kEncoderSetup = {&CLSID_Mpeg4EncoderFilter, kEncoderName, MERIT_UNLIKELY, 2,
                                          kEncoderPins};
// The decoder produces nothing, so no graph builder may ever pick it in place of a real decoder.
const AMOVIESETUP_FILTER kDecoderSetup = {&CLSID_Mpeg4DecoderFilter, kDecoderName, MERIT_DO_NOT_USE, 2,
                                          kDecoderPins};

} // namespace

CFactoryTemplate g_Templates[] = {
    {kEncoderName, &CLSID_Mpeg4EncoderFilter, CMpeg4EncoderFilter::CreateInstance, nullptr, &kEncoderSetup},
    {kDecoderName, &CLSID_Mpeg4DecoderFilter, CMpeg4DecoderFilter::CreateInstance, nullptr, &kDecoderSetup},
};
int g_cTemplates = sizeof(g_Templates) / sizeof(g_Templates[0]);

STDAPI DllRegisterServer()
{
    try
    {
        return AMovieRegisterInCategory(TRUE, CLSID_Mpeg4EncoderFilter, kEncoderName,
                                        CLSID_VideoCompressorCategory, MERIT_UNLIKELY, 2, kEncoderPins);
    }
    catch (...)
    {
        return HResultFromException();
    }
}

STDAPI DllUnregisterServer()
{
    try
    {
        return AMovieRegisterInCategory(FALSE, CLSID_Mpeg4EncoderFilter, kEncoderName,
                                        CLSID_VideoCompressorCategory, MERIT_UNLIKELY, 2, kEncoderPins);
    }
    catch (...)
    {
        return HResultFromException();
    }
}
