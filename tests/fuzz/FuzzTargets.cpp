#include "FuzzTargets.h"

#include "brevicam/capture/WebcamModels.h"
#include "kestavo/AviHeaders.h"
#include "kestavo/Transcoder.h"
#include "kestavo/mpgwrapper.h"
#include "platform/image/CxImage.h"
#include "platform/olepicture/OlePicture.h"
#include "platform/ostrago/Ostrago.h"
#include "platform/registry/Registry.h"
#include "platform/resources/ResStream.h"
#include "platform/resources/Resources.h"
#include "platform/wave/WaveFile.h"
#include "platform/window/Dialogs.h"
#include "platform/window/Extras.h"
#include "platform/window/WinGdi.h"
#include "platform/window/WinUser.h"
#include "shared/faldra/PictureEx.h"

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <span>
#include <string_view>
#include <unistd.h>

namespace fuzz
{
namespace
{
// Reading every byte a parser hands out lets the address sanitizer check that it lies within the input.
volatile unsigned g_sink = 0;

void Touch(const void* data, std::size_t size)
{
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    unsigned sum = 0;
    for (std::size_t i = 0; i < size; ++i)
        sum += bytes[i];
    g_sink = g_sink + sum;
}

// A folder of this process for the inputs that parsers read from files, removed at exit.
class Scratch
{
public:
    static const std::filesystem::path& Folder()
    {
        static Scratch scratch;
        return scratch.m_folder;
    }
    ~Scratch()
    {
        std::error_code ignored;
        std::filesystem::remove_all(m_folder, ignored);
    }

private:
    Scratch()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "brevicam-fuzz-XXXXXX").string();
        if (!::mkdtemp(pattern.data()))
            std::abort();
        m_folder = pattern;
    }
    std::filesystem::path m_folder;
};

std::string WriteInput(const std::filesystem::path& path, const std::uint8_t* data, std::size_t size)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    out.close();
    return path.string();
}

HGLOBAL CopyToBlock(const std::uint8_t* data, std::size_t size)
{
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, size ? size : 1);
    if (block && size)
    {
        std::memcpy(GlobalLock(block), data, size);
        GlobalUnlock(block);
    }
    return block;
}

void WalkKey(HKEY key, int depth)
{
    char name[256];
    BYTE value[64];
    for (DWORD index = 0;; ++index)
    {
        DWORD nameSize = sizeof name;
        DWORD type = 0;
        DWORD valueSize = sizeof value;
        if (RegEnumValueA(key, index, name, &nameSize, nullptr, &type, value, &valueSize) ==
            ERROR_NO_MORE_ITEMS)
            break;
    }
    for (DWORD index = 0; depth > 0; ++index)
    {
        DWORD nameSize = sizeof name;
        if (RegEnumKeyExA(key, index, name, &nameSize, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        HKEY sub = nullptr;
        if (RegOpenKeyExA(key, name, 0, KEY_READ, &sub) == ERROR_SUCCESS)
        {
            WalkKey(sub, depth - 1);
            RegCloseKey(sub);
        }
    }
}

int RegistryHive(const std::uint8_t* data, std::size_t size)
{
    const std::filesystem::path folder = Scratch::Folder() / "registry";
    std::filesystem::create_directories(folder);
    setenv("BREVICAM_REGISTRY_DIR", folder.c_str(), 1);
    WriteInput(folder / "HKCU.json", data, size);
    platform::registry::Reload();
    WalkKey(HKEY_CURRENT_USER, 3);
    // Saving writes the loaded tree back out.
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, "Fuzz", 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                        nullptr, &key, nullptr) == ERROR_SUCCESS)
    {
        const DWORD number = 1;
        RegSetValueExA(key, "v", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), sizeof number);
        RegCloseKey(key);
    }
    platform::registry::Reload();
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
    return 0;
}

int ResStream(const std::uint8_t* data, std::size_t size)
{
    const auto parsed = platform::resources::ParseResStream(data, size);
    for (const auto& entry : parsed.entries)
        Touch(entry.data, entry.size);
    return 0;
}

int ModuleResources(const std::uint8_t* data, std::size_t size)
{
    // A new name each time: modules are known by their path.
    static unsigned counter = 0;
    const std::string path =
        WriteInput(Scratch::Folder() / ("module" + std::to_string(++counter) + ".so"), data, size);
    if (HMODULE module = LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE))
    {
        for (LPCSTR type : {RT_DIALOG, RT_BITMAP, RT_RCDATA, MAKEINTRESOURCE(16)})
            if (HRSRC resource = FindResourceA(module, MAKEINTRESOURCE(1), type))
                if (const void* bytes = LockResource(LoadResource(module, resource)))
                    Touch(bytes, SizeofResource(module, resource));
        char text[256];
        LoadStringA(module, 1, text, sizeof text);
        FreeLibrary(module);
    }
    char version[64];
    GetVersionInfo(path.c_str(), version, sizeof version, 0);
    std::filesystem::remove(path);
    return 0;
}

int DialogTemplate(const std::uint8_t* data, std::size_t size)
{
    const auto parsed = platform::window::ParseDialogTemplate(data, size);
    for (const auto& item : parsed.items)
        if (item.creationData)
            Touch(item.creationData, item.creationSize);
    return 0;
}

int IconResources(const std::uint8_t* data, std::size_t size)
{
    // A module's icons and cursors: every group of the stream is built as LoadIcon / LoadCursor build it,
    // from the image resources of the same stream.
    const auto parsed = platform::resources::ParseResStream(data, size);
    for (const auto& group : parsed.entries)
    {
        if (!group.type.isNumber || (group.type.number != 14 && group.type.number != 12))
            continue;
        const bool icon = group.type.number == 14;
        const WORD imageType = icon ? 3 : 1;
        HICON handle = platform::window::CreateIconFromGroup(
            group.data, group.size, icon,
            [&](WORD id) -> std::span<const BYTE>
            {
                for (const auto& image : parsed.entries)
                    if (image.type.isNumber && image.type.number == imageType && image.name.isNumber &&
                        image.name.number == id)
                        return {image.data, image.size};
                return {};
            });
        ICONINFO info{};
        if (handle && GetIconInfo(handle, &info))
        {
            DeleteObject(info.hbmColor);
            DeleteObject(info.hbmMask);
        }
        DestroyIcon(handle);
    }
    return 0;
}

int Picture(const std::uint8_t* data, std::size_t size)
{
    HGLOBAL block = CopyToBlock(data, size);
    IStream* stream = nullptr;
    if (CreateStreamOnHGlobal(block, TRUE, &stream) != S_OK)
    {
        GlobalFree(block);
        return 0;
    }
    IPicture* picture = nullptr;
    if (SUCCEEDED(OleLoadPicture(stream, static_cast<LONG>(size), FALSE, IID_IPicture,
                                 reinterpret_cast<void**>(&picture))) &&
        picture)
    {
        OLE_XSIZE_HIMETRIC width = 0;
        picture->get_Width(&width);
        picture->Release();
    }
    stream->Release();
    return 0;
}

int AnimatedPicture(const std::uint8_t* data, std::size_t size)
{
    static CWnd* parent = []
    {
        auto* window = new CWnd;
        window->CreateEx(0, AfxRegisterWndClass(0), "fuzz", WS_POPUP, CRect(0, 0, 100, 100), nullptr, 0);
        return window;
    }();
    CPictureEx picture;
    picture.Create("", WS_CHILD, CRect(0, 0, 10, 10), parent);
    HGLOBAL block = CopyToBlock(data, size);
    picture.Load(block, static_cast<DWORD>(size));
    GlobalFree(block);
    picture.UnLoad();
    picture.DestroyWindow();
    return 0;
}

int ImageCodecs(const std::uint8_t* data, std::size_t size)
{
    for (const DWORD type :
         {CXIMAGE_FORMAT_BMP, CXIMAGE_FORMAT_GIF, CXIMAGE_FORMAT_JPG, CXIMAGE_FORMAT_PNG, CXIMAGE_FORMAT_TIF})
    {
        CxImage image;
        image.Decode(data, static_cast<DWORD>(size), type);
    }
    return 0;
}

int WaveFile(const std::uint8_t* data, std::size_t size)
{
    const std::string path = WriteInput(Scratch::Folder() / "sound.wav", data, size);
    platform::wave::WaveSound sound;
    std::string error;
    if (platform::wave::ReadWaveFile(path, sound, error))
        Touch(sound.samples.data(), sound.samples.size());
    platform::wave::WaveFileDurationMs(path, &error);
    return 0;
}

int AviFile(const std::uint8_t* data, std::size_t size)
{
    const std::string path = WriteInput(Scratch::Folder() / "video.avi", data, size);
    const transcoder::VideoFileInfo info = transcoder::get_info(path.c_str());
    Touch(&info, sizeof info);
    return 0;
}

int ConverterOutput(const std::uint8_t* data, std::size_t size)
{
    // The converter's output arrives in reads of any length: a zero byte in the input ends one read.
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    transcoder::CBaseJob::CProgressParser progress;
    transcoder::CRescaler::CQuerySizeParser frameSize;
    for (transcoder::CBaseParser* parser : {static_cast<transcoder::CBaseParser*>(&progress),
                                            static_cast<transcoder::CBaseParser*>(&frameSize)})
    {
        std::size_t start = 0;
        while (start <= text.size())
        {
            std::size_t end = text.find('\0', start);
            if (end == std::string_view::npos)
                end = text.size();
            try
            {
                parser->Feed(text.substr(start, end - start));
                if (parser->HasResult())
                    parser->GetResult();
            }
            catch (const CModuleException&)
            {
                // The parsers' own refusals of what they cannot read.
            }
            start = end + 1;
        }
    }
    return 0;
}

int DevicePath(const std::uint8_t* data, std::size_t size)
{
    const CString path(std::string(reinterpret_cast<const char*>(data), size));
    CString vendor;
    CString product;
    if (ParseDevicePathIds(path, &vendor, &product))
    {
        IsAcceptedDevice(vendor, product);
        FindWebcamModel(vendor, product);
    }
    return 0;
}
} // namespace

const std::vector<Target>& Targets()
{
    static const std::vector<Target> targets = {
        {"registry_hive", RegistryHive},
        {"res_stream", ResStream},
        {"module_resources", ModuleResources},
        {"dialog_template", DialogTemplate},
        {"icon_resources", IconResources},
        {"picture", Picture},
        {"animated_picture", AnimatedPicture},
        {"image_codecs", ImageCodecs},
        {"wave_file", WaveFile},
        {"avi_file", AviFile},
        {"converter_output", ConverterOutput},
        {"device_path", DevicePath},
    };
    return targets;
}

Entry Find(const std::string& name)
{
    for (const Target& target : Targets())
        if (target.name == name)
            return target.entry;
    return nullptr;
}
} // namespace fuzz
