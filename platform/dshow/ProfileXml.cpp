#include "ProfileXml.h"

#include <cctype>
#include <cstdlib>
#include <map>
#include <vector>

namespace platform::dshow
{
namespace
{
struct Element
{
    std::string name;
    std::map<std::string, std::string> attributes;
    std::vector<Element> children;
};

/// A small reader for the element-and-attribute XML of profiles: no text content, entities or
/// namespaces are needed there.
class Reader
{
public:
    explicit Reader(const std::string& text) : m_text(text) {}

    bool ReadDocument(Element* root)
    {
        SkipMisc();
        if (!ReadElement(root))
            return false;
        SkipMisc();
        return m_pos == m_text.size();
    }

private:
    void SkipSpace()
    {
        while (m_pos < m_text.size() && std::isspace(static_cast<unsigned char>(m_text[m_pos])))
            ++m_pos;
    }
    void SkipMisc()
    {
        for (;;)
        {
            SkipSpace();
            if (m_text.compare(m_pos, 4, "<!--") == 0)
            {
                auto end = m_text.find("-->", m_pos + 4);
                m_pos = end == std::string::npos ? m_text.size() : end + 3;
            }
            else if (m_text.compare(m_pos, 2, "<?") == 0)
            {
                auto end = m_text.find("?>", m_pos + 2);
                m_pos = end == std::string::npos ? m_text.size() : end + 2;
            }
            else
                return;
        }
    }
    bool ReadName(std::string* name)
    {
        size_t start = m_pos;
        while (m_pos < m_text.size() &&
               (std::isalnum(static_cast<unsigned char>(m_text[m_pos])) || m_text[m_pos] == '_' ||
                m_text[m_pos] == '-' || m_text[m_pos] == ':' || m_text[m_pos] == '.'))
            ++m_pos;
        *name = m_text.substr(start, m_pos - start);
        return !name->empty();
    }
    bool ReadElement(Element* element, int depth = 0)
    {
        if (depth > 32 || m_pos >= m_text.size() || m_text[m_pos] != '<')
            return false;
        ++m_pos;
        if (!ReadName(&element->name))
            return false;
        for (;;)
        {
            SkipSpace();
            if (m_pos >= m_text.size())
                return false;
            if (m_text.compare(m_pos, 2, "/>") == 0)
            {
                m_pos += 2;
                return true;
            }
            if (m_text[m_pos] == '>')
            {
                ++m_pos;
                break;
            }
            std::string attribute;
            if (!ReadName(&attribute))
                return false;
            SkipSpace();
            if (m_pos >= m_text.size() || m_text[m_pos] != '=')
                return false;
            ++m_pos;
            SkipSpace();
            if (m_pos >= m_text.size() || (m_text[m_pos] != '"' && m_text[m_pos] != '\''))
                return false;
            char quote = m_text[m_pos++];
            auto end = m_text.find(quote, m_pos);
            if (end == std::string::npos)
                return false;
            element->attributes[Lower(attribute)] = m_text.substr(m_pos, end - m_pos);
            m_pos = end + 1;
        }
        for (;;)
        {
            SkipMisc();
            if (m_pos >= m_text.size())
                return false;
            if (m_text.compare(m_pos, 2, "</") == 0)
            {
                m_pos += 2;
                std::string closing;
                if (!ReadName(&closing) || closing != element->name)
                    return false;
                SkipSpace();
                if (m_pos >= m_text.size() || m_text[m_pos] != '>')
                    return false;
                ++m_pos;
                return true;
            }
            if (m_text[m_pos] != '<')
                return false;
            element->children.emplace_back();
            if (!ReadElement(&element->children.back(), depth + 1))
                return false;
        }
    }
    static std::string Lower(std::string text)
    {
        for (char& c : text)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return text;
    }

    const std::string& m_text;
    size_t m_pos = 0;
};

const Element* Child(const Element& parent, const char* name)
{
    for (const auto& child : parent.children)
        if (child.name == name)
            return &child;
    return nullptr;
}

bool Number(const Element* element, const char* attribute, long long* value)
{
    if (!element)
        return false;
    auto it = element->attributes.find(attribute);
    if (it == element->attributes.end() || it->second.empty())
        return false;
    char* end = nullptr;
    long long n = std::strtoll(it->second.c_str(), &end, 10);
    if (!end || *end)
        return false;
    *value = n;
    return true;
}

std::string Upper(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

bool ReadAudio(const Element& config, AudioStream* audio)
{
    long long bitrate = 0;
    if (!Number(&config, "bitrate", &bitrate) || bitrate <= 0)
        return false;
    audio->bitrate = static_cast<int>(std::min<long long>(bitrate, 320000));
    const Element* type = Child(config, "wmmediatype");
    if (!type || Upper(type->attributes.count("subtype") ? type->attributes.at("subtype") : "") !=
                     "{00000161-0000-0010-8000-00AA00389B71}")
        return false;
    const Element* wave = Child(*type, "waveformatex");
    long long channels = 0;
    long long rate = 0;
    if (!Number(wave, "nchannels", &channels) || !Number(wave, "nsamplespersec", &rate) || channels < 1 ||
        channels > 2 || rate < 8000 || rate > 96000)
        return false;
    audio->channels = static_cast<int>(channels);
    audio->sampleRate = static_cast<int>(rate);
    return true;
}

bool ReadVideo(const Element& config, VideoStream* video)
{
    long long value = 0;
    if (!Number(&config, "bitrate", &value) || value <= 0)
        return false;
    video->bitrate = static_cast<int>(std::min<long long>(value, 0x7FFFFFFF));
    video->vbr = Number(&config, "vbrenabled", &value) && value != 0;
    if (video->vbr)
    {
        if (!Number(&config, "vbrquality", &value) || value < 0 || value > 100)
            return false;
        video->quality = static_cast<int>(value);
    }
    if (Number(Child(config, "videomediaprops"), "maxkeyframespacing", &value) && value > 0)
        video->keyFrameSpacing = value;
    const Element* type = Child(config, "wmmediatype");
    const Element* info = type ? Child(*type, "videoinfoheader") : nullptr;
    const Element* bitmap = info ? Child(*info, "bitmapinfoheader") : nullptr;
    long long width = 0;
    long long height = 0;
    long long frameTime = 0;
    if (!Number(info, "avgtimeperframe", &frameTime) || !Number(bitmap, "biwidth", &width) ||
        !Number(bitmap, "biheight", &height))
        return false;
    if (width <= 0 || height == 0 || frameTime <= 0 || width > 8192 || height > 8192 || height < -8192)
        return false;
    video->width = static_cast<int>(width);
    video->height = static_cast<int>(height < 0 ? -height : height);
    video->frameTime = frameTime;
    auto compression = bitmap->attributes.find("bicompression");
    video->compression = compression == bitmap->attributes.end() ? "" : Upper(compression->second);
    return video->compression == "WMV2";
}
} // namespace

bool ParseProfileXml(const std::string& xml, Profile* profile)
{
    Element root;
    if (!Reader(xml).ReadDocument(&root) || root.name != "profile")
        return false;
    Profile result;
    auto name = root.attributes.find("name");
    result.name = name == root.attributes.end() ? "" : name->second;
    for (const auto& child : root.children)
    {
        if (child.name != "streamconfig")
            continue;
        auto major = child.attributes.find("majortype");
        std::string type = major == child.attributes.end() ? "" : Upper(major->second);
        if (type == "{73647561-0000-0010-8000-00AA00389B71}")
        {
            AudioStream audio;
            if (result.audio || !ReadAudio(child, &audio))
                return false;
            result.audio = audio;
        }
        else if (type == "{73646976-0000-0010-8000-00AA00389B71}")
        {
            VideoStream video;
            if (result.video || !ReadVideo(child, &video))
                return false;
            result.video = video;
        }
        else
            return false;
    }
    if (!result.audio && !result.video)
        return false;
    *profile = std::move(result);
    return true;
}
} // namespace platform::dshow
