#include "platform/shell/DirectoryChanges.h"

#include "platform/win/LastError.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>
#include <string>
#include <utility>
#include <vector>

using testing_support::TempDir;

namespace
{
constexpr DWORD kAll = 0x17F;

using Changes = std::vector<std::pair<DWORD, std::string>>;

/// A folder opened for its changes, read on a thread of its own so that a test never blocks on it.
class ChangeReader
{
public:
    explicit ChangeReader(const std::filesystem::path& folder, BOOL subtree = TRUE, DWORD filter = kAll)
        : m_subtree(subtree), m_filter(filter)
    {
        m_folder = platform::shell::OpenFolderForChanges(folder.c_str());
    }
    ~ChangeReader()
    {
        if (m_folder == INVALID_HANDLE_VALUE)
            return;
        CancelIoEx(m_folder, nullptr);
        if (m_read.valid())
            m_read.wait();
        platform::shell::CloseFolderForChanges(m_folder);
    }
    bool IsOpen() const { return m_folder != INVALID_HANDLE_VALUE; }
    HANDLE Handle() const { return m_folder; }

    /// Starts one read; Take waits for it.
    void Start()
    {
        m_read = std::async(
            std::launch::async,
            [this]
            {
                Result result;
                DWORD got = 0;
                result.ok = ReadDirectoryChangesW(m_folder, m_buffer, sizeof m_buffer, m_subtree, m_filter,
                                                  &got, nullptr, nullptr);
                result.error = result.ok ? 0 : GetLastError();
                for (DWORD offset = 0; result.ok && got != 0;)
                {
                    const auto* record = reinterpret_cast<const FILE_NOTIFY_INFORMATION*>(m_buffer + offset);
                    result.changes.emplace_back(record->Action, platform::shell::NameOfChange(*record));
                    if (record->NextEntryOffset == 0)
                        break;
                    offset += record->NextEntryOffset;
                }
                return result;
            });
    }
    struct Result
    {
        BOOL ok = FALSE;
        DWORD error = 0;
        Changes changes;
    };
    /// The started read's result; fails the test when it has not returned within the limit.
    Result Take(int limitMs = 5000)
    {
        if (m_read.wait_for(std::chrono::milliseconds(limitMs)) != std::future_status::ready)
        {
            ADD_FAILURE() << "the read did not return";
            return {};
        }
        return m_read.get();
    }
    /// Reads until `wanted` turned up among the changes (at most `limitMs` in all); everything read.
    Changes ReadUntil(const std::pair<DWORD, std::string>& wanted, int limitMs = 5000)
    {
        Changes all;
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
        while (std::chrono::steady_clock::now() < end)
        {
            Start();
            const Result result = Take(static_cast<int>(
                std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now())
                    .count()));
            if (!result.ok)
                break;
            all.insert(all.end(), result.changes.begin(), result.changes.end());
            if (std::find(all.begin(), all.end(), wanted) != all.end())
                break;
        }
        return all;
    }

private:
    HANDLE m_folder = INVALID_HANDLE_VALUE;
    BOOL m_subtree;
    DWORD m_filter;
    alignas(FILE_NOTIFY_INFORMATION) BYTE m_buffer[16384];
    std::future<Result> m_read;
};

TEST(DirectoryChangesTest, AFileWrittenAndClosedIsModifiedOnceAtItsClose)
{
    TempDir dir;
    ChangeReader reader(dir.Path());
    ASSERT_TRUE(reader.IsOpen());
    {
        std::ofstream out(dir / "clip.wmv", std::ios::binary);
        for (int i = 0; i < 50; ++i)
            out << std::string(1000, 'x') << std::flush;
    }
    const Changes changes = reader.ReadUntil({FILE_ACTION_MODIFIED, "clip.wmv"});
    EXPECT_EQ(changes, (Changes{{FILE_ACTION_ADDED, "clip.wmv"}, {FILE_ACTION_MODIFIED, "clip.wmv"}}));
}

TEST(DirectoryChangesTest, NamesBelowTheFolderCarryTheirSubfolders)
{
    TempDir dir;
    std::filesystem::create_directories(dir / "a/b");
    ChangeReader reader(dir.Path());
    ASSERT_TRUE(reader.IsOpen());
    // The first read sets up the subtree before it waits.
    reader.Start();
    std::filesystem::create_directories(dir / "new");
    EXPECT_TRUE(reader.Take().ok);
    dir.WriteFile("a/b/deep.jpg", "x");
    dir.WriteFile("new/fresh.jpg", "x");
    const Changes deep = reader.ReadUntil({FILE_ACTION_MODIFIED, "new/fresh.jpg"});
    EXPECT_NE(std::find(deep.begin(), deep.end(),
                        std::make_pair(FILE_ACTION_MODIFIED, std::string("a/b/deep.jpg"))),
              deep.end());

    std::filesystem::rename(dir / "a/b/deep.jpg", dir / "a/b/renamed.jpg");
    std::filesystem::remove(dir / "new/fresh.jpg");
    const Changes more = reader.ReadUntil({FILE_ACTION_REMOVED, "new/fresh.jpg"});
    EXPECT_EQ(more, (Changes{{FILE_ACTION_RENAMED_OLD_NAME, "a/b/deep.jpg"},
                             {FILE_ACTION_RENAMED_NEW_NAME, "a/b/renamed.jpg"},
                             {FILE_ACTION_REMOVED, "new/fresh.jpg"}}));
}

TEST(DirectoryChangesTest, WithoutTheSubtreeOnlyTheFolderItselfIsRead)
{
    TempDir dir;
    std::filesystem::create_directories(dir / "sub");
    ChangeReader reader(dir.Path(), FALSE);
    ASSERT_TRUE(reader.IsOpen());
    reader.Start();
    dir.WriteFile("sub/hidden.jpg", "x");
    dir.WriteFile("shown.jpg", "x");
    const auto result = reader.Take();
    ASSERT_TRUE(result.ok);
    for (const auto& change : result.changes)
        EXPECT_EQ(change.second, "shown.jpg");
}

TEST(DirectoryChangesTest, ACancelEndsABlockedReadAndEveryLaterOne)
{
    TempDir dir;
    ChangeReader reader(dir.Path());
    ASSERT_TRUE(reader.IsOpen());
    reader.Start();
    EXPECT_TRUE(CancelIoEx(reader.Handle(), nullptr));
    auto result = reader.Take();
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.error, ERROR_OPERATION_ABORTED);
    reader.Start();
    result = reader.Take();
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.error, ERROR_OPERATION_ABORTED);
}

TEST(DirectoryChangesTest, AFolderThatGoesAwayEndsTheReading)
{
    TempDir dir;
    std::filesystem::create_directories(dir / "shown");
    ChangeReader reader(dir / "shown");
    ASSERT_TRUE(reader.IsOpen());
    reader.Start();
    std::filesystem::remove_all(dir / "shown");
    const auto result = reader.Take();
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.error, ERROR_ACCESS_DENIED);
}

TEST(DirectoryChangesTest, BadFoldersAndHandlesAreRefused)
{
    TempDir dir;
    SetLastError(0);
    EXPECT_EQ(platform::shell::OpenFolderForChanges((dir / "missing").c_str()), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
    EXPECT_EQ(platform::shell::OpenFolderForChanges(dir.WriteFile("file", "x").c_str()),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(platform::shell::OpenFolderForChanges("relative"), INVALID_HANDLE_VALUE);
    BYTE buffer[64];
    DWORD got = 0;
    int notAHandle = 0;
    EXPECT_FALSE(
        ReadDirectoryChangesW(&notAHandle, buffer, sizeof buffer, TRUE, kAll, &got, nullptr, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_FALSE(CancelIoEx(&notAHandle, nullptr));
    EXPECT_FALSE(platform::shell::CloseFolderForChanges(&notAHandle));
}

TEST(DirectoryChangesTest, ChangesLargerThanTheBufferAreReportedAsLost)
{
    TempDir dir;
    HANDLE folder = platform::shell::OpenFolderForChanges(dir.Path().c_str());
    ASSERT_NE(folder, INVALID_HANDLE_VALUE);
    BYTE buffer[16];
    DWORD got = 0;
    auto read = std::async(
        std::launch::async, [&]
        { return ReadDirectoryChangesW(folder, buffer, sizeof buffer, TRUE, kAll, &got, nullptr, nullptr); });
    dir.WriteFile("a-name-longer-than-the-buffer.jpg", "x");
    ASSERT_EQ(read.wait_for(std::chrono::seconds(5)), std::future_status::ready);
    EXPECT_TRUE(read.get());
    EXPECT_EQ(got, 0u);
    platform::shell::CloseFolderForChanges(folder);
}
} // namespace
