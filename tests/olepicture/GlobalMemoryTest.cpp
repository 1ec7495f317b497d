#include "platform/olepicture/OlePicture.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace
{
/// A stream with its own reference, released at the end of the test.
struct StreamRef
{
    IStream* stream = nullptr;
    ~StreamRef()
    {
        if (stream)
            stream->Release();
    }
};

std::string ReadRest(IStream* stream)
{
    std::string text(64, '\0');
    ULONG read = 0;
    stream->Read(text.data(), static_cast<ULONG>(text.size()), &read);
    text.resize(read);
    return text;
}

HGLOBAL BlockWith(UINT flags, const std::string& text)
{
    HGLOBAL block = GlobalAlloc(flags, text.size());
    std::memcpy(GlobalLock(block), text.data(), text.size());
    GlobalUnlock(block);
    return block;
}
} // namespace

TEST(GlobalMemoryTest, BlocksAreCountedAndUnknownHandlesRefused)
{
    for (UINT flags : {GMEM_FIXED, GMEM_MOVEABLE})
    {
        HGLOBAL block = GlobalAlloc(flags | GMEM_ZEROINIT, 16);
        ASSERT_NE(block, nullptr);
        EXPECT_EQ(GlobalSize(block), 16u);
        auto* bytes = static_cast<BYTE*>(GlobalLock(block));
        ASSERT_NE(bytes, nullptr);
        EXPECT_EQ(bytes[15], 0);
        EXPECT_EQ(GlobalLock(block), bytes);
        EXPECT_TRUE(GlobalUnlock(block));
        EXPECT_FALSE(GlobalUnlock(block));
        EXPECT_EQ(GlobalFree(block), nullptr);
        // Freed: the handle names nothing any more.
        EXPECT_EQ(GlobalLock(block), nullptr);
        EXPECT_EQ(GlobalSize(block), 0u);
        EXPECT_EQ(GlobalFree(block), block);
    }
    int local = 0;
    EXPECT_EQ(GlobalLock(reinterpret_cast<HGLOBAL>(&local)), nullptr);
}

TEST(GlobalMemoryTest, StreamReadsSeeksAndStopsAtTheEnd)
{
    HGLOBAL block = BlockWith(GMEM_MOVEABLE, "0123456789");
    StreamRef ref;
    ASSERT_EQ(CreateStreamOnHGlobal(block, FALSE, &ref.stream), S_OK);
    char two[2];
    ULONG read = 0;
    EXPECT_EQ(ref.stream->Read(two, 2, &read), S_OK);
    EXPECT_EQ(std::string(two, 2), "01");
    LARGE_INTEGER move{};
    move.QuadPart = -3;
    ULARGE_INTEGER position{};
    EXPECT_EQ(ref.stream->Seek(move, STREAM_SEEK_END, &position), S_OK);
    EXPECT_EQ(position.QuadPart, 7u);
    EXPECT_EQ(ReadRest(ref.stream), "789");
    EXPECT_EQ(ref.stream->Read(two, 2, &read), S_FALSE);
    EXPECT_EQ(read, 0u);
    move.QuadPart = -20;
    EXPECT_EQ(ref.stream->Seek(move, STREAM_SEEK_CUR, nullptr), STG_E_INVALIDFUNCTION);
    STATSTG stat{};
    EXPECT_EQ(ref.stream->Stat(&stat, STATFLAG_NONAME), S_OK);
    EXPECT_EQ(stat.cbSize.QuadPart, 10u);
    ref.stream->Release();
    ref.stream = nullptr;
    // The caller kept the block.
    EXPECT_EQ(GlobalSize(block), 10u);
    EXPECT_EQ(GlobalFree(block), nullptr);
}

TEST(GlobalMemoryTest, OnlyAStreamThatOwnsItsBlockGrowsItAndFreesIt)
{
    HGLOBAL kept = BlockWith(GMEM_MOVEABLE, "abc");
    {
        StreamRef ref;
        ASSERT_EQ(CreateStreamOnHGlobal(kept, FALSE, &ref.stream), S_OK);
        LARGE_INTEGER end{};
        ref.stream->Seek(end, STREAM_SEEK_END, nullptr);
        ULONG written = 0;
        EXPECT_EQ(ref.stream->Write("d", 1, &written), STG_E_MEDIUMFULL);
        EXPECT_EQ(written, 0u);
    }
    EXPECT_EQ(GlobalSize(kept), 3u);
    GlobalFree(kept);

    HGLOBAL owned = BlockWith(GMEM_MOVEABLE, "abc");
    IStream* stream = nullptr;
    ASSERT_EQ(CreateStreamOnHGlobal(owned, TRUE, &stream), S_OK);
    LARGE_INTEGER end{};
    stream->Seek(end, STREAM_SEEK_END, nullptr);
    EXPECT_EQ(stream->Write("def", 3, nullptr), S_OK);
    stream->Seek(end, STREAM_SEEK_SET, nullptr);
    EXPECT_EQ(ReadRest(stream), "abcdef");
    stream->Release();
    EXPECT_EQ(GlobalLock(owned), nullptr);

    EXPECT_EQ(CreateStreamOnHGlobal(owned, TRUE, &stream), E_INVALIDARG);
    EXPECT_EQ(stream, nullptr);
}
