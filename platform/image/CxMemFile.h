#pragma once

#include "platform/win/Export.h"
#include "platform/win/WinTypes.h"

#include <cstddef>
#include <vector>

/// A byte stream the image object decodes from and encodes into.
class PLATFORM_API CxFile
{
public:
    virtual ~CxFile();

    /// Reads up to size × count bytes; returns the number of whole items read (fewer at the end).
    virtual std::size_t Read(void* buffer, std::size_t size, std::size_t count) = 0;
    /// Writes size × count bytes; returns the number of whole items written (fewer on failure).
    virtual std::size_t Write(const void* buffer, std::size_t size, std::size_t count) = 0;
    /// Pushes buffered bytes out; false when that failed.
    virtual bool Flush() = 0;
    /// True once a read or write failed (not merely reached the end).
    virtual bool Error() const = 0;
};

/// A stream over memory. Given a buffer, it reads and writes inside that buffer and never beyond its
/// size (the buffer stays the caller's); without one it owns a buffer that grows as it is written.
/// Not thread-safe.
class PLATFORM_API CxMemFile : public CxFile
{
public:
    CxMemFile(BYTE* pBuffer = nullptr, DWORD size = 0);
    ~CxMemFile() override;

    std::size_t Read(void* buffer, std::size_t size, std::size_t count) override;
    std::size_t Write(const void* buffer, std::size_t size, std::size_t count) override;
    bool Flush() override;
    bool Error() const override;

    /// The bytes of the stream: the caller's buffer, or the owned one.
    BYTE* GetBuffer();
    /// Bytes held (the caller's buffer size, or the bytes written to the owned buffer).
    std::size_t Size() const;
    /// The read and write position.
    std::size_t Tell() const;
    /// Moves the position to `position` (at most Size()); false beyond the end.
    bool Seek(std::size_t position);

private:
    BYTE* m_external;
    std::size_t m_externalSize;
    std::vector<BYTE> m_owned;
    std::size_t m_position = 0;
    bool m_error = false;
};
