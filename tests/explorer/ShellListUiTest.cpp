#include "brevicam/explorer/ShellList.h"
#include "platform/listview/ListView.h"
#include "platform/menu/Menu.h"
#include "platform/window/Controls.h"
#include "tests/explorer/ExplorerTestSupport.h"
#include "tests/kestavo/KestavoTestSupport.h"
#include "tests/platform/shell_ui/DropTestSupport.h"
#include "tests/platform/window/WindowTestSupport.h"
#include "tests/support/AppLoopSupport.h"
#include "tests/support/ShellTestSupport.h"

#include <QMimeData>
#include <QUrl>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

using explorer_test::FolderRecord;
using testing_support::PrivateHome;
using testing_support::PumpAppUntil;
using testing_support::SendDrop;
namespace fs = std::filesystem;

namespace
{
const char* const kPrivateMime = "application/x-Tavisk_QPW_E22F87D5_51AC_4e53_83FF_9E54CC150017";

/// An owner that shows every file, refuses dropped text files and writes down what it was asked.
class DropMediator : public CExplorerMediator
{
public:
    std::vector<std::string> filtered;

    bool IsReady() override { return true; }
    LRESULT OnExplorerEvent(int, WPARAM, LPARAM) override { return 0; }
    void OnFolderSelected(tagTShellItemData*) override {}
    void OnFolderExpanding(tagTShellItemData*, BOOL) override {}
    void OpenItem(tagTShellItemData*) override {}
    bool FilterItem(const char* path) override
    {
        filtered.emplace_back(path);
        return fs::path(path).extension() == ".txt";
    }
    bool FilterShellItem(IShellFolder*, LPCITEMIDLIST, LPCITEMIDLIST) override { return false; }
};

/// The file list, counting the refreshes of its folder that it asks of itself.
class CRecordingList : public CShellListCtrl
{
public:
    explicit CRecordingList(CExplorerMediator* mediator) : CShellListCtrl(mediator) {}
    int refreshes = 0;

protected:
    afx_msg LRESULT OnPopulateRequest(WPARAM wParam, LPARAM lParam)
    {
        if (wParam == ShellListShowFolder && lParam == 0)
            ++refreshes;
        return OnPopulate(wParam, lParam);
    }
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CRecordingList, CShellListCtrl)
ON_MESSAGE(WM_SHELLLIST_POPULATE, OnPopulateRequest)
END_MESSAGE_MAP()

std::string ReadAll(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

void WriteAll(const fs::path& path, const std::string& content)
{
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << content;
}

std::vector<std::string> NamesIn(const fs::path& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

/// A list in a panel showing a folder of the private home.
class ShellListUiTest : public window_test::WindowFixture
{
protected:
    void SetUp() override
    {
        WindowFixture::SetUp();
        ASSERT_TRUE(m_panel.CreateEx(0, AfxRegisterWndClass(0), "panel", WS_POPUP | WS_VISIBLE,
                                     CRect(100, 100, 700, 500), nullptr, 0));
        ASSERT_TRUE(m_list.Create(WS_CHILD | WS_VISIBLE | LVS_ICON | LVS_AUTOARRANGE, CRect(0, 0, 600, 400),
                                  &m_panel, 1005));
        m_list.InitializeCtrl();
    }
    void TearDown() override
    {
        platform::shell::SetDragHook(nullptr);
        platform::menu::SetTrackHook(nullptr);
        m_list.DestroyWindow();
        m_panel.DestroyWindow();
        FreeShellItemData(m_folder);
        WindowFixture::TearDown();
    }

    /// Shows `folder` (made when missing) in the list.
    void Show(const fs::path& folder)
    {
        fs::create_directories(folder);
        m_shown = folder;
        m_folder = FolderRecord(folder);
        EXPECT_NE(m_folder, nullptr) << folder;
        m_list.ShowFolder(m_folder);
        m_list.refreshes = 0;
    }

    int IndexOf(const std::string& name)
    {
        for (int i = 0; i < m_list.GetItemCount(); ++i)
            if (fs::path(m_list.GetItemPath(i).Str()).filename() == name)
                return i;
        return -1;
    }

    CPoint IconCentre(int index)
    {
        CRect icon;
        m_list.GetItemRect(index, &icon, LVIR_ICON);
        return icon.CenterPoint();
    }

    void Select(std::initializer_list<int> indexes)
    {
        for (int i = 0; i < m_list.GetItemCount(); ++i)
            m_list.SetItemState(i, 0, LVIS_SELECTED);
        for (int i : indexes)
            m_list.SetItemState(i, LVIS_SELECTED, LVIS_SELECTED);
    }

    void RightClick(int index)
    {
        const CPoint p = IconCentre(index);
        m_list.SendMessage(WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(p.x, p.y));
        m_list.SendMessage(WM_RBUTTONUP, 0, MAKELPARAM(p.x, p.y));
    }

    PrivateHome m_home;
    DropMediator m_mediator;
    CWnd m_panel;
    CRecordingList m_list{&m_mediator};
    tagTShellItemData* m_folder = nullptr;
    fs::path m_shown;
};

// Dragging files out -------------------------------------------------------------------------------------

struct DragCase
{
    const char* name;
    DROPEFFECT answer;     // what the other program's target took
    bool targetMovedFirst; // the target moved the first file itself and answered "none"
    int refreshes;
};

class DragOutTest : public ShellListUiTest, public testing::WithParamInterface<DragCase>
{
};

TEST_P(DragOutTest, TheSelectedFilesGoOutAsUriListWithThePrivateFormat)
{
    const DragCase& c = GetParam();
    // Paths longer than the old 260-character limit travel whole.
    const fs::path folder = m_home.Home() / "Pictures" / std::string(120, 'p') / std::string(120, 'q');
    WriteAll(folder / "a photo été.jpg", "a");
    WriteAll(folder / "b.jpg", "b");
    WriteAll(folder / "c.jpg", "c");
    Show(folder);
    ASSERT_EQ(m_list.GetItemCount(), 3);
    const int a = IndexOf("a photo été.jpg");
    const int b = IndexOf("b.jpg");
    Select({b});

    QList<QUrl> urls;
    QByteArray marker;
    DWORD allowed = 0;
    platform::shell::SetDragHook(
        [&](const QMimeData& data, DWORD effects)
        {
            urls = data.urls();
            marker = data.data(kPrivateMime);
            allowed = effects;
            if (c.targetMovedFirst)
                fs::rename(folder / "a photo été.jpg", m_home.Home() / "elsewhere.jpg");
            return c.answer;
        });
    // Ctrl adds the pressed item to the selection; the drag starts once the pointer has moved.
    const CPoint p = IconCentre(a);
    m_list.SendMessage(WM_LBUTTONDOWN, MK_LBUTTON | MK_CONTROL, MAKELPARAM(p.x, p.y));
    m_list.SendMessage(WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(p.x + 20, p.y + 20));

    ASSERT_EQ(urls.size(), 2);
    EXPECT_EQ(urls[0].toLocalFile().toStdString(), (folder / "a photo été.jpg").string());
    EXPECT_EQ(urls[1].toLocalFile().toStdString(), (folder / "b.jpg").string());
    EXPECT_GT((folder / "a photo été.jpg").string().size(), 260u);
    EXPECT_EQ(marker, QByteArray(1, '\0'));
    EXPECT_EQ(allowed, DROPEFFECT_COPY | DROPEFFECT_MOVE);
    EXPECT_EQ(m_list.refreshes, c.refreshes);
}

INSTANTIATE_TEST_SUITE_P(Effects, DragOutTest,
                         testing::Values(DragCase{"Copied", DROPEFFECT_COPY, false, 0},
                                         DragCase{"Moved", DROPEFFECT_MOVE, false, 1},
                                         DragCase{"Refused", DROPEFFECT_NONE, false, 0},
                                         DragCase{"MovedByTheTargetItself", DROPEFFECT_NONE, true, 1}),
                         [](const testing::TestParamInfo<DragCase>& info)
                         { return std::string(info.param.name); });

TEST_F(ShellListUiTest, FilesDraggedOntoTheListItselfAreRefused)
{
    const fs::path folder = m_home.Home() / "Pictures";
    WriteAll(folder / "a.jpg", "a");
    Show(folder);
    ASSERT_EQ(m_list.GetItemCount(), 1);
    Qt::DropAction answered = Qt::CopyAction;
    platform::shell::SetDragHook(
        [&](const QMimeData& data, DWORD)
        {
            answered = SendDrop(m_list.m_hWnd, data, QPoint(300, 200), Qt::CopyAction | Qt::MoveAction);
            return answered == Qt::IgnoreAction ? DROPEFFECT_NONE : DROPEFFECT_COPY;
        });
    const CPoint p = IconCentre(0);
    m_list.SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(p.x, p.y));
    m_list.SendMessage(WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(p.x + 20, p.y + 20));

    EXPECT_EQ(answered, Qt::IgnoreAction);
    EXPECT_EQ(NamesIn(folder), std::vector<std::string>({"a.jpg"}));
    EXPECT_TRUE(m_mediator.filtered.empty());
    EXPECT_EQ(m_list.refreshes, 0);
}

// Dropping files in --------------------------------------------------------------------------------------

struct DropCase
{
    const char* name;
    std::vector<std::string> dropped;   // paths relative to the home
    std::vector<std::string> afterward; // the shown folder's files after the drop
};

class DropInTest : public ShellListUiTest, public testing::WithParamInterface<DropCase>
{
};

const std::string kLongFolder = "Outside/" + std::string(200, 'd');
const std::string kLongName = std::string(100, 'n') + ".jpg";

TEST_P(DropInTest, AcceptedFilesAreCopiedIntoTheShownFolderWhichRefreshes)
{
    const DropCase& c = GetParam();
    WriteAll(m_home.Home() / "Photos/photo.jpg", "old");
    WriteAll(m_home.Home() / "Outside/photo.jpg", "new");
    WriteAll(m_home.Home() / "Outside/notes.txt", "text");
    WriteAll(m_home.Home() / kLongFolder / kLongName, "long");
    Show(m_home.Home() / "Photos");

    QMimeData data;
    QList<QUrl> urls;
    std::vector<std::string> offered;
    for (const std::string& path : c.dropped)
    {
        urls.append(QUrl::fromLocalFile(QString::fromStdString((m_home.Home() / path).string())));
        offered.push_back((m_home.Home() / path).string());
    }
    data.setUrls(urls);
    EXPECT_EQ(SendDrop(m_list.m_hWnd, data, QPoint(300, 200), Qt::CopyAction | Qt::MoveAction),
              Qt::CopyAction);

    EXPECT_EQ(m_mediator.filtered, offered);
    EXPECT_EQ(NamesIn(m_shown), c.afterward);
    EXPECT_EQ(ReadAll(m_shown / "photo.jpg"), "old");
    EXPECT_EQ(m_list.refreshes, 1);
    for (const std::string& name : c.afterward)
        EXPECT_NE(IndexOf(name), -1) << name << " is not listed";
}

INSTANTIATE_TEST_SUITE_P(
    Drops, DropInTest,
    testing::Values(
        DropCase{"TakenFileGetsANewNameBesideTheOldOne",
                 {"Outside/photo.jpg", "Outside/notes.txt"},
                 {"Copy of photo.jpg", "photo.jpg"}},
        DropCase{
            "PhotoDroppedOntoItsOwnFolderIsCopied", {"Photos/photo.jpg"}, {"Copy of photo.jpg", "photo.jpg"}},
        DropCase{"RefusedTypesCopyNothing", {"Outside/notes.txt"}, {"photo.jpg"}},
        DropCase{"LongPathIsReadWhole", {kLongFolder + "/" + kLongName}, {kLongName, "photo.jpg"}}),
    [](const testing::TestParamInfo<DropCase>& info) { return std::string(info.param.name); });

TEST_F(ShellListUiTest, NothingIsTakenWhileNoFolderIsShown)
{
    WriteAll(m_home.Home() / "Outside/photo.jpg", "new");
    QMimeData data;
    data.setUrls(
        {QUrl::fromLocalFile(QString::fromStdString((m_home.Home() / "Outside/photo.jpg").string()))});
    EXPECT_EQ(SendDrop(m_list.m_hWnd, data, QPoint(300, 200), Qt::CopyAction), Qt::IgnoreAction);
    EXPECT_TRUE(m_mediator.filtered.empty());
}

// The context menu ---------------------------------------------------------------------------------------

TEST_F(ShellListUiTest, MoveToTrashOfTheContextMenuTrashesTheSelectedFile)
{
    const fs::path folder = m_home.Home() / "Pictures";
    WriteAll(folder / "a.jpg", "a");
    WriteAll(folder / "b.jpg", "b");
    Show(folder);
    const int b = IndexOf("b.jpg");
    ASSERT_NE(b, -1);
    Select({b});
    std::vector<std::string> shown;
    platform::menu::SetTrackHook(
        [&](HMENU menu, QWidget*)
        {
            UINT chosen = 0;
            for (int i = 0; i < GetMenuItemCount(menu); ++i)
            {
                char text[64] = {};
                GetMenuStringA(menu, static_cast<UINT>(i), text, sizeof text, MF_BYPOSITION);
                shown.emplace_back(text);
                if (shown.back() == "Move to Trash")
                    chosen = GetMenuItemID(menu, i);
            }
            return chosen;
        });
    RightClick(b);

    EXPECT_EQ(shown, std::vector<std::string>({"Open", "Move to Trash"}));
    EXPECT_EQ(NamesIn(folder), std::vector<std::string>({"a.jpg"}));
    EXPECT_EQ(ReadAll(m_home.Home() / ".local/share/Trash/files/b.jpg"), "b");
}

TEST_F(ShellListUiTest, WithTheContextMenuOffARightClickShowsNothing)
{
    const fs::path folder = m_home.Home() / "Pictures";
    WriteAll(folder / "a.jpg", "a");
    Show(folder);
    int menus = 0;
    platform::menu::SetTrackHook(
        [&](HMENU, QWidget*)
        {
            ++menus;
            return 0u;
        });
    m_list.EnableContextMenu(FALSE);
    Select({0});
    RightClick(0);
    EXPECT_EQ(menus, 0);

    m_list.EnableContextMenu(TRUE);
    RightClick(0);
    EXPECT_EQ(menus, 1);
    EXPECT_EQ(NamesIn(folder), std::vector<std::string>({"a.jpg"}));
}

// Tooltips -----------------------------------------------------------------------------------------------

struct TipCase
{
    const char* name;
    std::string file;
    std::function<void(const fs::path&)> make;
    std::string text;
};

void PrintTo(const TipCase& c, std::ostream* os)
{
    *os << c.name;
}

std::function<void(const fs::path&)> Converted(std::vector<std::string> inputs,
                                               std::vector<std::string> options)
{
    return [=](const fs::path& path) { kestavo_test::MakeClip(path, inputs, options); };
}

std::vector<std::string> TestPicture(const std::string& size)
{
    return {"-f", "lavfi", "-i", "testsrc=size=" + size};
}

std::vector<std::string> TestVideo(const std::string& size, int rate, int seconds)
{
    return {"-f", "lavfi", "-i",
            "testsrc=duration=" + std::to_string(seconds) + ":size=" + size +
                ":rate=" + std::to_string(rate)};
}

/// A photo cut short after its header: only the header tells its size.
void TruncatedJpeg(const fs::path& path)
{
    kestavo_test::MakeClip(path, TestPicture("640x480"), {"-frames:v", "1"});
    fs::resize_file(path, 2000);
}

const std::string kPhotoText =
    "Media type: jpg\nWidth (in pixels): 640\nHeight (in pixels): 480\nColor depth: 24";

class ToolTipTest : public ShellListUiTest, public testing::WithParamInterface<TipCase>
{
};

TEST_P(ToolTipTest, TheItemUnderThePointerIsDescribed)
{
    const TipCase& c = GetParam();
    const fs::path folder = m_home.Home() / "Videos";
    fs::create_directories(folder);
    c.make(folder / c.file);
    Show(folder);
    ASSERT_EQ(m_list.GetItemCount(), 1);

    CToolTipCtrl* tip = platform::window::ThreadToolTip();
    ASSERT_NE(tip, nullptr);
    tip->SetDelayTime(TTDT_INITIAL, 10);
    Mouse(m_list.m_hWnd, QEvent::MouseMove, QPoint(IconCentre(0).x, IconCentre(0).y));
    std::string shown;
    EXPECT_TRUE(PumpAppUntil(
        [&]
        {
            CString text;
            tip->GetWindowText(text);
            shown = text.Str();
            return tip->IsWindowVisible() && shown == c.text;
        }))
        << shown;
    const DWORD style = static_cast<DWORD>(::GetWindowLongPtr(tip->m_hWnd, GWL_STYLE));
    EXPECT_EQ(style & 0xFFFF, static_cast<DWORD>(TTS_ALWAYSTIP | TTS_NOPREFIX | TTS_BALLOON));
    EXPECT_EQ(tip->GetDelayTime(TTDT_AUTOPOP), 10000);

    // The wide request gets the same text.
    NMTTDISPINFOW wide{};
    wide.hdr = NMHDR{tip->m_hWnd, 0, TTN_NEEDTEXTW};
    m_list.SendMessage(WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&wide));
    ASSERT_NE(wide.lpszText, nullptr);
    EXPECT_EQ(std::wstring(wide.lpszText), platform::Utf8ToWide(c.text));
}

INSTANTIATE_TEST_SUITE_P(
    Files, ToolTipTest,
    testing::Values(
        TipCase{"Photo", "photo.jpg", Converted(TestPicture("640x480"), {"-frames:v", "1"}), kPhotoText},
        TipCase{"GreyPicture", "grey.png",
                Converted(TestPicture("320x200"), {"-frames:v", "1", "-pix_fmt", "gray"}),
                "Media type: png\nWidth (in pixels): 320\nHeight (in pixels): 200\nColor depth: 8"},
        TipCase{"PhotoCutShortIsDescribedFromItsHeader", "cut.jpg", TruncatedJpeg, kPhotoText},
        TipCase{"CorruptPhoto", "corrupt.jpg",
                [](const fs::path& path) { WriteAll(path, std::string(4000, 'x')); },
                "Media type: jpg\nWidth (in pixels): N/A\nHeight (in pixels): N/A\nColor depth: N/A"},
        TipCase{
            "Video", "clip.avi", Converted(TestVideo("320x240", 15, 2), {"-c:v", "mpeg4", "-vtag", "XVID"}),
            "Media type: AVI\nWidth (in pixels): 320\nHeight (in pixels): 240\nFrame rate (in fps): 15.00\n"
            "Coding: XVID\nTime (in seconds): 00:00:02"},
        TipCase{
            "UncompressedVideo", "raw.avi",
            Converted(TestVideo("160x120", 10, 1), {"-c:v", "rawvideo", "-pix_fmt", "yuyv422"}),
            "Media type: AVI\nWidth (in pixels): 160\nHeight (in pixels): 120\nFrame rate (in fps): 10.00\n"
            "Coding: Uncompressed\nTime (in seconds): 00:00:01"},
        TipCase{"VideoWithoutPictureSize", "sound.avi",
                Converted({"-f", "lavfi", "-i", "sine=duration=2"}, {"-c:a", "pcm_s16le"}),
                "Media type: AVI\nWidth (in pixels): N/A\nHeight (in pixels): N/A\nFrame rate (in fps): N/A\n"
                "Coding: N/A\nTime (in seconds): N/A"},
        TipCase{
            "WindowsMediaVideo", "clip.wmv", Converted(TestVideo("320x240", 15, 2), {"-c:v", "wmv2"}),
            "Media type: WMV\nWidth (in pixels): 320\nHeight (in pixels): 240\nFrame rate (in fps): 15.00\n"
            "Coding: Windows Media Video V8\nTime (in seconds): 00:00:02"},
        TipCase{"UnreadableVideo", "broken.mp4", [](const fs::path& path) { WriteAll(path, "not a video"); },
                "N/A"}),
    [](const testing::TestParamInfo<TipCase>& info) { return std::string(info.param.name); });
} // namespace
