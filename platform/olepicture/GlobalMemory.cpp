// Global memory blocks and the stream over one, on the C heap.

#include "platform/olepicture/OlePicture.h"
#include "platform/win/LastError.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <unordered_map>

namespace
{
struct Block
{
    void* data = nullptr;
    std::size_t size = 0;
    int locks = 0;
};

struct Blocks
{
    std::mutex lock;
    std::unordered_map<HGLOBAL, std::unique_ptr<Block>> byHandle;
};

Blocks& AllBlocks()
{
    static Blocks* blocks = new Blocks; // outlives every static destructor that may still free a block
    return *blocks;
}

/// The block behind `handle`, null for a handle that is not ours. The caller holds the table's lock.
Block* Lookup(Blocks& blocks, HGLOBAL handle)
{
    auto it = blocks.byHandle.find(handle);
    return it == blocks.byHandle.end() ? nullptr : it->second.get();
}

/// Resizes a block that a stream owns; false when the memory cannot be had.
bool Resize(HGLOBAL handle, std::size_t size)
{
    Blocks& blocks = AllBlocks();
    std::lock_guard guard(blocks.lock);
    Block* found = Lookup(blocks, handle);
    if (!found)
        return false;
    Block& block = *found;
    if (block.data == static_cast<void*>(handle))
        return false; // a fixed block's address is its handle and cannot move
    void* grown = std::realloc(block.data, size ? size : 1);
    if (!grown)
        return false;
    if (size > block.size)
        std::memset(static_cast<BYTE*>(grown) + block.size, 0, size - block.size);
    block.data = grown;
    block.size = size;
    return true;
}

bool Find(HGLOBAL handle, void** data, std::size_t* size)
{
    Blocks& blocks = AllBlocks();
    std::lock_guard guard(blocks.lock);
    const Block* block = Lookup(blocks, handle);
    if (!block)
        return false;
    *data = block->data;
    *size = block->size;
    return true;
}

class StreamOnHGlobal final : public IStream
{
public:
    StreamOnHGlobal(HGLOBAL block, bool owns, std::size_t size) : m_block(block), m_owns(owns), m_size(size)
    {
    }

    HRESULT QueryInterface(REFIID iid, void** object) override
    {
        if (!object)
            return E_POINTER;
        if (iid == IID_IUnknown || iid == IID_ISequentialStream || iid == IID_IStream)
        {
            *object = static_cast<IStream*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return ++m_refs; }
    ULONG Release() override
    {
        const ULONG left = --m_refs;
        if (left == 0)
            delete this;
        return left;
    }

    HRESULT Read(void* buffer, ULONG size, ULONG* read) override
    {
        if (read)
            *read = 0;
        if (!buffer && size)
            return STG_E_INVALIDPOINTER;
        void* data = nullptr;
        std::size_t blockSize = 0;
        if (!Find(m_block, &data, &blockSize))
            return E_FAIL;
        const std::size_t end = std::min(m_size, blockSize);
        const std::size_t count = m_position < end ? std::min<std::size_t>(size, end - m_position) : 0;
        if (count)
            std::memcpy(buffer, static_cast<const BYTE*>(data) + m_position, count);
        m_position += count;
        if (read)
            *read = static_cast<ULONG>(count);
        return count == size ? S_OK : S_FALSE;
    }

    HRESULT Write(const void* buffer, ULONG size, ULONG* written) override
    {
        if (written)
            *written = 0;
        if (!buffer && size)
            return STG_E_INVALIDPOINTER;
        void* data = nullptr;
        std::size_t blockSize = 0;
        if (!Find(m_block, &data, &blockSize))
            return E_FAIL;
        const std::size_t end = m_position + size;
        if (end > blockSize)
        {
            if (!m_owns || !Resize(m_block, end) || !Find(m_block, &data, &blockSize))
                return STG_E_MEDIUMFULL;
        }
        if (size)
            std::memcpy(static_cast<BYTE*>(data) + m_position, buffer, size);
        m_position = end;
        m_size = std::max(m_size, end);
        if (written)
            *written = size;
        return S_OK;
    }

    HRESULT Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* newPosition) override
    {
        long long base = 0;
        switch (origin)
        {
        case STREAM_SEEK_SET:
            break;
        case STREAM_SEEK_CUR:
            base = static_cast<long long>(m_position);
            break;
        case STREAM_SEEK_END:
            base = static_cast<long long>(m_size);
            break;
        default:
            return STG_E_INVALIDFUNCTION;
        }
        long long target = 0;
        if (__builtin_add_overflow(base, move.QuadPart, &target) || target < 0)
            return STG_E_INVALIDFUNCTION;
        m_position = static_cast<std::size_t>(target);
        if (newPosition)
            newPosition->QuadPart = static_cast<ULONGLONG>(target);
        return S_OK;
    }

    HRESULT Stat(STATSTG* stat, DWORD) override
    {
        if (!stat)
            return STG_E_INVALIDPOINTER;
        *stat = STATSTG{};
        stat->type = STGTY_STREAM;
        stat->cbSize.QuadPart = m_size;
        return S_OK;
    }

private:
    ~StreamOnHGlobal()
    {
        if (m_owns)
            GlobalFree(m_block);
    }

    std::atomic<ULONG> m_refs{1};
    HGLOBAL m_block;
    bool m_owns;
    std::size_t m_size;
    std::size_t m_position = 0;
};
} // namespace

HGLOBAL GlobalAlloc(UINT flags, std::size_t size)
{
    auto block = std::make_unique<Block>();
    block->size = size;
    // malloc(0) may give null; every block has at least one byte behind it.
    block->data = (flags & GMEM_ZEROINIT) ? std::calloc(size ? size : 1, 1) : std::malloc(size ? size : 1);
    if (!block->data)
    {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    const HGLOBAL handle =
        (flags & GMEM_MOVEABLE) ? reinterpret_cast<HGLOBAL>(block.get()) : static_cast<HGLOBAL>(block->data);
    Blocks& blocks = AllBlocks();
    std::lock_guard guard(blocks.lock);
    blocks.byHandle.emplace(handle, std::move(block));
    return handle;
}

LPVOID GlobalLock(HGLOBAL handle)
{
    Blocks& blocks = AllBlocks();
    std::lock_guard guard(blocks.lock);
    Block* block = Lookup(blocks, handle);
    if (!block)
    {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    ++block->locks;
    return block->data;
}

BOOL GlobalUnlock(HGLOBAL handle)
{
    Blocks& blocks = AllBlocks();
    std::lock_guard guard(blocks.lock);
    Block* block = Lookup(blocks, handle);
    if (!block)
    {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (block->locks > 0)
        --block->locks;
    SetLastError(0);
    return block->locks > 0 ? TRUE : FALSE;
}

std::size_t GlobalSize(HGLOBAL handle)
{
    void* data = nullptr;
    std::size_t size = 0;
    return Find(handle, &data, &size) ? size : 0;
}

HGLOBAL GlobalFree(HGLOBAL handle)
{
    std::unique_ptr<Block> block;
    {
        Blocks& blocks = AllBlocks();
        std::lock_guard guard(blocks.lock);
        auto it = blocks.byHandle.find(handle);
        if (it == blocks.byHandle.end())
        {
            SetLastError(ERROR_INVALID_HANDLE);
            return handle;
        }
        block = std::move(it->second);
        blocks.byHandle.erase(it);
    }
    std::free(block->data);
    return nullptr;
}

HRESULT CreateStreamOnHGlobal(HGLOBAL block, BOOL deleteOnRelease, LPSTREAM* stream)
{
    if (!stream)
        return E_POINTER;
    *stream = nullptr;
    bool owns = deleteOnRelease != FALSE;
    if (!block)
    {
        block = GlobalAlloc(GMEM_MOVEABLE, 0);
        if (!block)
            return E_OUTOFMEMORY;
        owns = true;
    }
    void* data = nullptr;
    std::size_t size = 0;
    if (!Find(block, &data, &size))
        return E_INVALIDARG;
    auto* made = new (std::nothrow) StreamOnHGlobal(block, owns, size);
    if (!made)
        return E_OUTOFMEMORY;
    *stream = made;
    return S_OK;
}
