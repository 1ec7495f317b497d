#include "CxMemFile.h"

#include <algorithm>
#include <cstring>
#include <new>

CxFile::~CxFile() = default;

CxMemFile::CxMemFile(BYTE* pBuffer, DWORD size) : m_external(pBuffer), m_externalSize(pBuffer ? size : 0) {}

CxMemFile::~CxMemFile() = default;

std::size_t CxMemFile::Read(void* buffer, std::size_t size, std::size_t count)
{
    if (size == 0 || count == 0 || buffer == nullptr)
        return 0;
    const std::size_t available = Size() - m_position;
    const std::size_t items = std::min(count, available / size);
    if (items != 0)
    {
        const BYTE* data = m_external ? m_external : m_owned.data();
        std::memcpy(buffer, data + m_position, items * size);
        m_position += items * size;
    }
    return items;
}

std::size_t CxMemFile::Write(const void* buffer, std::size_t size, std::size_t count)
{
    if (size == 0 || count == 0 || buffer == nullptr)
        return 0;
    if (m_external)
    {
        const std::size_t items = std::min(count, (m_externalSize - m_position) / size);
        std::memcpy(m_external + m_position, buffer, items * size);
        m_position += items * size;
        if (items < count)
            m_error = true;
        return items;
    }
    if (count > (SIZE_MAX - m_position) / size)
    {
        m_error = true;
        return 0;
    }
    const std::size_t bytes = size * count;
    try
    {
        if (m_position + bytes > m_owned.size())
            m_owned.resize(m_position + bytes);
    }
    catch (const std::bad_alloc&)
    {
        m_error = true;
        return 0;
    }
    std::memcpy(m_owned.data() + m_position, buffer, bytes);
    m_position += bytes;
    return count;
}

bool CxMemFile::Flush()
{
    return !m_error;
}

bool CxMemFile::Error() const
{
    return m_error;
}

BYTE* CxMemFile::GetBuffer()
{
    return m_external ? m_external : m_owned.data();
}

std::size_t CxMemFile::Size() const
{
    return m_external ? m_externalSize : m_owned.size();
}

std::size_t CxMemFile::Tell() const
{
    return m_position;
}

bool CxMemFile::Seek(std::size_t position)
{
    if (position > Size())
        return false;
    m_position = position;
    return true;
}
