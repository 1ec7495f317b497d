#pragma once

#include <cctype>
#include <new>
#include <stdexcept>
#include <string>
#include <string_view>

/// The exception family every deliverable reports its failures with. The classes are visible across
/// modules so that a handler in the program catches what a library threw.
#define EXCEPTION_API __attribute__((visibility("default")))

class EXCEPTION_API COutOfMemoryException : public std::bad_alloc
{
public:
    explicit COutOfMemoryException(const std::string& message) : std::bad_alloc() { m_message = message; }
    COutOfMemoryException(const COutOfMemoryException& other) : std::bad_alloc(), m_message(other.m_message)
    {
    }
    COutOfMemoryException& operator=(const COutOfMemoryException&) = default;
    ~COutOfMemoryException() override = default;
    const char* what() const noexcept override { return m_message.c_str(); }

private:
    std::string m_message;
};

class EXCEPTION_API CNullPointerException : public std::logic_error
{
public:
    explicit CNullPointerException(const std::string& message) : std::logic_error(message) {}
};

class EXCEPTION_API CInvalidArgumentException : public std::logic_error
{
public:
    explicit CInvalidArgumentException(const std::string& message) : std::logic_error(message) {}
};

/// Copies rebuild the message from the source's what(), as every class over std::runtime_error does.
#define EXCEPTION_RUNTIME_CLASS(Name, Base)                                                                  \
    class EXCEPTION_API Name : public Base                                                                   \
    {                                                                                                        \
    public:                                                                                                  \
        explicit Name(const std::string& message) : Base(message) {}                                         \
        Name(const Name& other) : Base(std::string(other.what())) {}                                         \
        Name& operator=(const Name&) = default;                                                              \
    }

EXCEPTION_RUNTIME_CLASS(CInvalidObjectException, std::runtime_error);
EXCEPTION_RUNTIME_CLASS(CIOException, std::runtime_error);
EXCEPTION_RUNTIME_CLASS(CNotEnoughSpaceException, CIOException);
EXCEPTION_RUNTIME_CLASS(CModuleException, std::runtime_error);
EXCEPTION_RUNTIME_CLASS(CUserInterfaceException, CModuleException);
EXCEPTION_RUNTIME_CLASS(CInvalidStateException, CModuleException);
EXCEPTION_RUNTIME_CLASS(CVMRInitException, CModuleException);
EXCEPTION_RUNTIME_CLASS(CMissingModuleException, CModuleException);
EXCEPTION_RUNTIME_CLASS(CMissingVideoException, CModuleException);
EXCEPTION_RUNTIME_CLASS(CVideoCaptureException, CModuleException);
EXCEPTION_RUNTIME_CLASS(CVideoInUseException, CModuleException);
EXCEPTION_RUNTIME_CLASS(CFolderMissing, CModuleException);
EXCEPTION_RUNTIME_CLASS(CMediaException, CModuleException);

class EXCEPTION_API CUserAbortException : public std::runtime_error
{
public:
    explicit CUserAbortException(const std::string& message) : std::runtime_error(message) {}
};

class EXCEPTION_API COSResourceException : public std::runtime_error
{
public:
    COSResourceException(const std::string& message, int errorCode)
        : std::runtime_error(message), m_errorCode(errorCode)
    {
    }
    COSResourceException(const COSResourceException& other)
        : std::runtime_error(std::string(other.what())), m_errorCode(other.GetErrorCode())
    {
    }
    COSResourceException& operator=(const COSResourceException&) = default;
    virtual int GetErrorCode() const { return m_errorCode; }

private:
    int m_errorCode;
};

class EXCEPTION_API CDynamicLinkException : public COSResourceException
{
public:
    CDynamicLinkException(const std::string& message, int errorCode)
        : COSResourceException(message, errorCode)
    {
    }
    CDynamicLinkException(const CDynamicLinkException& other)
        : COSResourceException(std::string(other.what()), other.GetErrorCode())
    {
    }
    CDynamicLinkException& operator=(const CDynamicLinkException&) = default;
};

class EXCEPTION_API CCOMException : public std::runtime_error
{
public:
    CCOMException(const std::string& message, int hresult) : std::runtime_error(message), m_hresult(hresult)
    {
    }
    CCOMException(const CCOMException& other)
        : std::runtime_error(std::string(other.what())), m_hresult(other.GetHResult())
    {
    }
    CCOMException& operator=(const CCOMException&) = default;
    virtual int GetHResult() const { return m_hresult; }

private:
    int m_hresult;
};

class EXCEPTION_API CShellException : public CCOMException
{
public:
    CShellException(const std::string& message, int hresult) : CCOMException(message, hresult) {}
    CShellException(const CShellException& other)
        : CCOMException(std::string(other.what()), other.GetHResult())
    {
    }
    CShellException& operator=(const CShellException&) = default;
};

namespace exceptions
{
/// The source part of a throw site's message: ".\" and the unit's name without its extension, relative to
/// its module's folder, for a source file; the header's path for code inlined from a header.
inline std::string ThrowSiteSource(std::string_view file)
{
    std::string path(file);
    for (char& c : path)
        if (c == '/')
            c = '\\';
    const bool header = path.ends_with(".h") || path.ends_with(".hpp");
    if (header)
        return path;
    // A deliverable's own sources name themselves relative to the deliverable's folder.
    static constexpr std::string_view kModuleRoots[] = {
        "brevicam\\core\\",
        "brevicam\\capture\\",
        "brevicam\\ui\\",
        "brevicam\\media\\",
        "brevicam\\explorer\\",
        "shared\\faldra\\",
        "kestavo\\",
        "miravoc\\",
        "corrowin\\",
        "DirectShowFilters\\tolquin\\",
        "DirectShowFilters\\vardell\\",
        "platform\\",
    };
    for (std::string_view root : kModuleRoots)
    {
        if (path.starts_with(root))
        {
            path.erase(0, root.size());
            break;
        }
    }
    const auto dot = path.rfind('.');
    const auto slash = path.rfind('\\');
    if (dot != std::string::npos && (slash == std::string::npos || dot > slash))
        path.erase(dot);
    return ".\\" + path;
}

/// The qualified function name of a throw site, in the form "Class::Method", "ns::Class::Method",
/// "Outer::Inner::operator ()" or "Template<class Arg>::Method", from the compiler's pretty name.
inline std::string ThrowSiteFunction(std::string_view pretty)
{
    std::string_view text = pretty;
    std::string_view with;
    if (auto w = text.find(" [with "); w != std::string_view::npos && text.ends_with("]"))
    {
        with = text.substr(w + 7, text.size() - w - 8);
        text = text.substr(0, w);
    }
    // The parameter list is the last balanced "(...)" before any trailing qualifiers.
    std::size_t close = text.rfind(')');
    std::size_t open = std::string_view::npos;
    if (close != std::string_view::npos)
    {
        int depth = 0;
        for (std::size_t i = close + 1; i-- > 0;)
        {
            if (text[i] == ')')
                ++depth;
            else if (text[i] == '(' && --depth == 0)
            {
                open = i;
                break;
            }
        }
    }
    std::string_view name = open == std::string_view::npos ? text : text.substr(0, open);
    // The return type, if any, ends at the last blank outside template brackets.
    int angle = 0;
    std::size_t start = 0;
    for (std::size_t i = 0; i < name.size(); ++i)
    {
        if (name[i] == '<')
            ++angle;
        else if (name[i] == '>')
            --angle;
        else if (name[i] == ' ' && angle == 0 && !name.substr(i + 1).starts_with("()") &&
                 !name.substr(0, i).ends_with("operator"))
            start = i + 1;
    }
    std::string result(name.substr(start));
    if (auto op = result.find("operator()"); op != std::string::npos)
        result.replace(op, 10, "operator ()");
    // Template parameters are written out as the compiler of the original named them.
    while (!with.empty())
    {
        const auto semi = with.find("; ");
        std::string_view binding = with.substr(0, semi);
        with = semi == std::string_view::npos ? std::string_view() : with.substr(semi + 2);
        const auto eq = binding.find(" = ");
        if (eq == std::string_view::npos)
            continue;
        const std::string param(binding.substr(0, eq));
        const std::string arg(binding.substr(eq + 3));
        for (std::size_t pos = 0; (pos = result.find(param, pos)) != std::string::npos;)
        {
            const bool leftOk =
                pos > 0 && (result[pos - 1] == '<' || result[pos - 1] == ' ' || result[pos - 1] == ',');
            const std::size_t end = pos + param.size();
            const bool rightOk = end < result.size() && (result[end] == '>' || result[end] == ',');
            if (leftOk && rightOk)
            {
                result.replace(pos, param.size(), arg);
                pos += arg.size();
            }
            else
                pos = end;
        }
    }
    // Class-type template arguments carry the "class " keyword.
    static constexpr std::string_view kFundamental[] = {
        "int", "unsigned", "long", "short", "char", "bool", "float", "double", "void", "signed", "wchar_t"};
    for (std::size_t i = 0; i < result.size(); ++i)
    {
        if (result[i] != '<' && result[i] != ',')
            continue;
        std::size_t arg = i + 1;
        while (arg < result.size() && result[arg] == ' ')
            ++arg;
        const std::string_view rest = std::string_view(result).substr(arg);
        if (rest.empty() || !(rest[0] == '_' || rest[0] == '{' || (rest[0] >= 'A' && rest[0] <= 'Z') ||
                              (rest[0] >= 'a' && rest[0] <= 'z')))
            continue;
        if (rest.starts_with("class ") || rest.starts_with("struct ") || rest.starts_with("enum "))
            continue;
        bool fundamental = false;
        for (std::string_view f : kFundamental)
            fundamental =
                fundamental ||
                (rest.starts_with(f) &&
                 (rest.size() == f.size() || !std::isalnum(static_cast<unsigned char>(rest[f.size()]))));
        if (!fundamental)
            result.insert(arg, "class ");
    }
    return result;
}

/// The whole message of a throw site: source, "[", function, "]: ", text.
inline std::string ThrowSiteMessage(std::string_view file, std::string_view prettyFunction,
                                    std::string_view text)
{
    std::string message = ThrowSiteSource(file);
    message += '[';
    message += ThrowSiteFunction(prettyFunction);
    message += "]: ";
    message += text;
    return message;
}
} // namespace exceptions

/// The message of an exception thrown here, naming this source file and function.
#define THROW_SITE_MESSAGE(text) ::exceptions::ThrowSiteMessage(__FILE__, __PRETTY_FUNCTION__, (text))
