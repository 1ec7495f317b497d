#include "platform/win/Kernel.h"

#include "platform/win/LastError.h"
#include "platform/win/Sync.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <iterator>
#include <string>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

TEST(KernelTest, AutoResetEventReleasesOneWaitThenResets)
{
    HANDLE e = CreateEvent(nullptr, FALSE, FALSE, nullptr);
    EXPECT_EQ(WaitForSingleObject(e, 10), WAIT_TIMEOUT);
    SetEvent(e);
    EXPECT_EQ(WaitForSingleObject(e, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(e, 0), WAIT_TIMEOUT);
    CloseHandle(e);
}

TEST(KernelTest, ManualResetEventStaysSignalled)
{
    HANDLE e = CreateEvent(nullptr, TRUE, TRUE, nullptr);
    EXPECT_EQ(WaitForSingleObject(e, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(e, 0), WAIT_OBJECT_0);
    ResetEvent(e);
    EXPECT_EQ(WaitForSingleObject(e, 0), WAIT_TIMEOUT);
    CloseHandle(e);
}

TEST(KernelTest, WaitForAnyReportsTheSignalledIndex)
{
    HANDLE events[3] = {CreateEvent(nullptr, FALSE, FALSE, nullptr),
                        CreateEvent(nullptr, FALSE, FALSE, nullptr),
                        CreateEvent(nullptr, FALSE, FALSE, nullptr)};
    std::thread t(
        [&]
        {
            Sleep(20);
            SetEvent(events[2]);
        });
    EXPECT_EQ(WaitForMultipleObjects(3, events, FALSE, 5000), WAIT_OBJECT_0 + 2);
    t.join();
    for (HANDLE h : events)
        CloseHandle(h);
}

unsigned ReturnSeven(void* arg)
{
    static_cast<std::atomic<int>*>(arg)->store(1);
    return 7;
}

TEST(KernelTest, ThreadHandleSignalsWithExitCode)
{
    std::atomic<int> ran{0};
    unsigned id = 0;
    auto h = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, ReturnSeven, &ran, CREATE_SUSPENDED, &id));
    ASSERT_NE(h, nullptr);
    EXPECT_NE(id, 0u);
    EXPECT_EQ(WaitForSingleObject(h, 30), WAIT_TIMEOUT);
    EXPECT_EQ(ran.load(), 0);
    ResumeThread(h);
    ASSERT_EQ(WaitForSingleObject(h, 5000), WAIT_OBJECT_0);
    DWORD code = 0;
    EXPECT_TRUE(GetExitCodeThread(h, &code));
    EXPECT_EQ(code, 7u);
    CloseHandle(h);
}

TEST(KernelTest, InvalidHandleFailsWithError)
{
    SetLastError(0);
    EXPECT_EQ(WaitForSingleObject(nullptr, 0), WAIT_FAILED);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_FALSE(SetEvent(nullptr));
}

TEST(KernelTest, LastErrorIsPerThread)
{
    SetLastError(ERROR_ALREADY_EXISTS);
    std::thread([] { EXPECT_EQ(GetLastError(), ERROR_SUCCESS); }).join();
    EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
}

TEST(SyncTest, CriticalSectionIsReentrant)
{
    CCriticalSection cs;
    CSingleLock outer(&cs, TRUE);
    {
        CSingleLock inner(&cs, TRUE);
        EXPECT_TRUE(inner.IsLocked());
    }
    // Still held by this thread: another thread cannot take it.
    std::atomic<bool> taken{true};
    std::thread([&] { taken = cs.Lock(20); }).join();
    EXPECT_FALSE(taken.load());
    outer.Unlock();
    std::thread(
        [&]
        {
            taken = cs.Lock(1000);
            cs.Unlock();
        })
        .join();
    EXPECT_TRUE(taken.load());
}

TEST(SyncTest, MutexIsOwnedByOneThread)
{
    CMutex m;
    ASSERT_TRUE(m.Lock(0));
    ASSERT_TRUE(m.Lock(0)); // recursive for its owner
    std::atomic<bool> taken{true};
    std::thread([&] { taken = m.Lock(20); }).join();
    EXPECT_FALSE(taken.load());
    m.Unlock();
    m.Unlock();
    std::thread(
        [&]
        {
            taken = m.Lock(1000);
            m.Unlock();
        })
        .join();
    EXPECT_TRUE(taken.load());
}

TEST(KernelTest, MultiByteToWideCharReadsUtf8AndRefusesABufferTooSmall)
{
    const char* text = "Aufl\xC3\xB6sung 1280\xC3\x97"
                       "720";
    EXPECT_EQ(MultiByteToWideChar(CP_THREAD_ACP, 0, text, -1, nullptr, 0), 19); // with the terminator
    wchar_t wide[32];
    ASSERT_EQ(MultiByteToWideChar(CP_ACP, 0, text, -1, wide, 32), 19);
    EXPECT_EQ(std::wstring(wide), L"Aufl\u00F6sung 1280\u00D7720");
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, text, 6, wide, 32), 5); // six bytes, no terminator
    EXPECT_EQ(std::wstring(wide, 5), L"Aufl\u00F6");

    std::fill(std::begin(wide), std::end(wide), L'#');
    SetLastError(0);
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, text, -1, wide, 4), 0);
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(std::wstring(wide, 5), L"Aufl#"); // what fitted, nothing beyond
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, nullptr, -1, wide, 4), 0);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST(KernelTest, LowerThreadPrioritiesAreNiceValuesOfTheThreadAndWhatItStarts)
{
    struct Seen
    {
        int nice = -100;
        int childNice = -100;
    } seen;
    const auto body = [](LPVOID parameter) -> DWORD
    {
        auto* s = static_cast<Seen*>(parameter);
        s->nice = getpriority(PRIO_PROCESS, 0);
        // A program started by the thread runs at the thread's priority.
        FILE* child = popen("cut -d' ' -f19 /proc/self/stat", "r");
        if (child && fscanf(child, "%d", &s->childNice) != 1)
            s->childNice = -200;
        if (child)
            pclose(child);
        return 0;
    };
    const int base = getpriority(PRIO_PROCESS, static_cast<id_t>(getpid()));
    for (const auto& [priority, offset] : std::vector<std::pair<int, int>>{{THREAD_PRIORITY_BELOW_NORMAL, 5},
                                                                           {THREAD_PRIORITY_LOWEST, 10},
                                                                           {THREAD_PRIORITY_IDLE, 19},
                                                                           {THREAD_PRIORITY_HIGHEST, 0}})
    {
        SCOPED_TRACE(priority);
        DWORD id = 0;
        HANDLE thread = CreateThread(nullptr, 0, body, &seen, CREATE_SUSPENDED, &id);
        ASSERT_NE(thread, nullptr);
        EXPECT_TRUE(SetThreadPriority(thread, priority));
        ResumeThread(thread);
        ASSERT_EQ(WaitForSingleObject(thread, 10000), WAIT_OBJECT_0);
        CloseHandle(thread);
        EXPECT_EQ(seen.nice, std::min(19, base + offset));
        EXPECT_EQ(seen.childNice, std::min(19, base + offset));
    }
    EXPECT_FALSE(SetThreadPriority(nullptr, THREAD_PRIORITY_LOWEST));
}
