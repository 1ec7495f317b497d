#include "platform/com/ComPtr.h"
#include "platform/dshowbase/DShow.h"

#include <gtest/gtest.h>

#include <future>
#include <thread>

using platform::com::ComPtr;

namespace
{
class AllocatorTest : public testing::Test
{
protected:
    void SetUp() override
    {
        m_allocator = new CMemAllocator("Test", nullptr, nullptr);
        m_allocator->NonDelegatingAddRef();
        ALLOCATOR_PROPERTIES request{2, 100, 16, 8};
        ALLOCATOR_PROPERTIES actual{};
        ASSERT_EQ(m_allocator->SetProperties(&request, &actual), S_OK);
        EXPECT_EQ(actual.cBuffers, 2);
        EXPECT_GE(actual.cbBuffer, 100);
    }
    void TearDown() override
    {
        if (m_allocator)
            m_allocator->NonDelegatingRelease();
    }

    ComPtr<IMediaSample> Take(DWORD flags = 0)
    {
        IMediaSample* sample = nullptr;
        m_allocator->GetBuffer(&sample, nullptr, nullptr, flags);
        return ComPtr<IMediaSample>::Adopt(sample);
    }

    CMemAllocator* m_allocator = nullptr;
};
} // namespace

TEST_F(AllocatorTest, BuffersAreAlignedAndComeBackCleared)
{
    ASSERT_EQ(m_allocator->Commit(), S_OK);
    auto sample = Take();
    ASSERT_TRUE(sample);
    BYTE* data = nullptr;
    sample->GetPointer(&data);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(data) % 16, 0u);
    EXPECT_EQ(sample->SetActualDataLength(sample->GetSize() + 1), VFW_E_BUFFER_OVERFLOW);
    EXPECT_EQ(sample->SetActualDataLength(50), S_OK);
    REFERENCE_TIME start = 10;
    REFERENCE_TIME stop = 20;
    sample->SetTime(&start, &stop);
    sample->SetSyncPoint(TRUE);
    sample.Reset();
    auto again = Take();
    auto other = Take();
    ASSERT_TRUE(again && other);
    for (auto* s : {again.Get(), other.Get()})
    {
        EXPECT_EQ(s->GetActualDataLength(), 0);
        EXPECT_EQ(s->GetTime(&start, &stop), VFW_E_SAMPLE_TIME_NOT_SET);
        EXPECT_EQ(s->IsSyncPoint(), S_FALSE);
    }
}

TEST_F(AllocatorTest, WaitsForASampleToComeBack)
{
    ASSERT_EQ(m_allocator->Commit(), S_OK);
    auto first = Take();
    auto second = Take();
    EXPECT_FALSE(Take(AM_GBF_NOWAIT));
    auto waiting = std::async(std::launch::async, [this] { return Take(); });
    first.Reset();
    EXPECT_TRUE(waiting.get());
}

TEST_F(AllocatorTest, DecommitReleasesAWaitingThread)
{
    ASSERT_EQ(m_allocator->Commit(), S_OK);
    auto first = Take();
    auto second = Take();
    auto waiting = std::async(std::launch::async,
                              [this]
                              {
                                  IMediaSample* sample = nullptr;
                                  return m_allocator->GetBuffer(&sample, nullptr, nullptr, 0);
                              });
    // Give the waiter a moment to block; the result is the same if it comes late.
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ASSERT_EQ(m_allocator->Decommit(), S_OK);
    EXPECT_EQ(waiting.get(), VFW_E_NOT_COMMITTED);
}

TEST_F(AllocatorTest, OutlivesItsLastReferenceWhileSamplesAreOut)
{
    ASSERT_EQ(m_allocator->Commit(), S_OK);
    auto sample = Take();
    ASSERT_EQ(m_allocator->Decommit(), S_OK);
    m_allocator->NonDelegatingRelease();
    m_allocator = nullptr;
    // The sample still works and goes back to the allocator, which then frees itself.
    BYTE* data = nullptr;
    ASSERT_EQ(sample->GetPointer(&data), S_OK);
    data[0] = 1;
    sample.Reset();
}

TEST_F(AllocatorTest, PropertiesAreRefusedWhenTheyCannotApply)
{
    ALLOCATOR_PROPERTIES actual{};
    ALLOCATOR_PROPERTIES oddAlign{2, 100, 3, 0};
    EXPECT_EQ(m_allocator->SetProperties(&oddAlign, &actual), VFW_E_BADALIGN);
    ALLOCATOR_PROPERTIES negative{-1, 100, 1, 0};
    EXPECT_EQ(m_allocator->SetProperties(&negative, &actual), E_INVALIDARG);
    ALLOCATOR_PROPERTIES none{0, 0, 1, 0};
    ASSERT_EQ(m_allocator->SetProperties(&none, &actual), S_OK);
    EXPECT_EQ(m_allocator->Commit(), VFW_E_SIZENOTSET);
    ALLOCATOR_PROPERTIES fine{1, 10, 1, 0};
    ASSERT_EQ(m_allocator->SetProperties(&fine, &actual), S_OK);
    ASSERT_EQ(m_allocator->Commit(), S_OK);
    EXPECT_EQ(m_allocator->SetProperties(&fine, &actual), VFW_E_ALREADY_COMMITTED);
    auto sample = Take();
    ASSERT_EQ(m_allocator->Decommit(), S_OK);
    EXPECT_EQ(m_allocator->SetProperties(&fine, &actual), VFW_E_BUFFERS_OUTSTANDING);
}

TEST(MediaTypeTest, EqualityCoversTheFormatBytes)
{
    CMediaType a(&MEDIATYPE_Audio);
    a.SetSubtype(&MEDIASUBTYPE_PCM);
    a.SetFormatType(&FORMAT_WaveFormatEx);
    const BYTE format[4] = {1, 2, 3, 4};
    ASSERT_TRUE(a.SetFormat(format, 4));
    CMediaType b(a);
    EXPECT_TRUE(a == b);
    EXPECT_NE(a.Format(), b.Format());
    b.Format()[3] = 5;
    EXPECT_FALSE(a == b);
    b = a;
    b.SetSampleSize(77);
    EXPECT_TRUE(a == b);
    b.ReallocFormatBuffer(3);
    EXPECT_FALSE(a == b);
    AM_MEDIA_TYPE* copy = CreateMediaType(&a);
    ASSERT_NE(copy, nullptr);
    EXPECT_TRUE(CMediaType(*copy) == a);
    DeleteMediaType(copy);
}
