#include "platform/shell/DragDrop.h"

#include "platform/com/Com.h"
#include "platform/win/Dib.h"
#include "tests/platform/shell_ui/DropTestSupport.h"
#include "tests/platform/window/WindowTestSupport.h"

#include <QDropEvent>
#include <QMimeData>
#include <QUrl>

#include <cstring>
#include <string>
#include <vector>

using namespace window_test;
using testing_support::SendDrop;

namespace
{
const char* const kPrivateName = "Tavisk_QPW_E22F87D5_51AC_4e53_83FF_9E54CC150017";

CLIPFORMAT PrivateFormat()
{
    return static_cast<CLIPFORMAT>(RegisterClipboardFormatA(kPrivateName));
}

/// A CF_HDROP block of UTF-8 names, as a list builds it for a drag.
HGLOBAL DropFiles(const std::vector<std::string>& names)
{
    std::vector<BYTE> bytes(sizeof(DROPFILES), 0);
    const DROPFILES header{sizeof(DROPFILES), {0, 0}, FALSE, FALSE};
    std::memcpy(bytes.data(), &header, sizeof header);
    for (const std::string& name : names)
    {
        bytes.insert(bytes.end(), name.begin(), name.end());
        bytes.push_back(0);
    }
    bytes.push_back(0);
    HGLOBAL block = GlobalAlloc(GHND, bytes.size());
    std::memcpy(GlobalLock(block), bytes.data(), bytes.size());
    GlobalUnlock(block);
    return block;
}

HGLOBAL OneZeroByte()
{
    return GlobalAlloc(GHND, 1);
}

std::vector<std::string> NamesOf(HDROP drop)
{
    std::vector<std::string> names;
    const UINT count = DragQueryFileA(drop, 0xFFFFFFFF, nullptr, 0);
    for (UINT i = 0; i < count; ++i)
    {
        char name[260];
        DragQueryFileA(drop, i, name, sizeof name);
        names.emplace_back(name);
    }
    return names;
}

/// A drop target that answers with a fixed effect and remembers what it was told.
class RecordingTarget final : public IDropTarget
{
public:
    explicit RecordingTarget(DWORD answer) : answer(answer) {}

    STDMETHODIMP QueryInterface(REFIID iid, void** object) override
    {
        if (iid == IID_IUnknown || iid == IID_IDropTarget)
        {
            *object = static_cast<IDropTarget*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++refs; }
    STDMETHODIMP_(ULONG) Release() override { return --refs; }

    STDMETHODIMP DragEnter(IDataObject*, DWORD keyState, POINTL point, DWORD* effect) override
    {
        steps.push_back("enter");
        offered = *effect;
        keys = keyState;
        at = point;
        *effect = answer;
        return S_OK;
    }
    STDMETHODIMP DragOver(DWORD, POINTL, DWORD* effect) override
    {
        steps.push_back("over");
        *effect = answer;
        return S_OK;
    }
    STDMETHODIMP DragLeave() override
    {
        steps.push_back("leave");
        return S_OK;
    }
    STDMETHODIMP Drop(IDataObject* data, DWORD, POINTL, DWORD* effect) override
    {
        steps.push_back("drop");
        FORMATETC format{CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
        STGMEDIUM medium{};
        if (SUCCEEDED(data->GetData(&format, &medium)))
        {
            names = NamesOf(reinterpret_cast<HDROP>(medium.hGlobal));
            ReleaseStgMedium(&medium);
        }
        format.cfFormat = PrivateFormat();
        privateFormat = data->QueryGetData(&format) == S_OK;
        *effect = answer;
        return S_OK;
    }

    DWORD answer;
    ULONG refs = 1;
    std::vector<std::string> steps;
    DWORD offered = 0;
    DWORD keys = 0;
    POINTL at{};
    std::vector<std::string> names;
    bool privateFormat = false;
};

/// The file list's drop rule: files from elsewhere are copied in, its own drags are refused.
class CListDropTarget : public COleDropTarget
{
public:
    DROPEFFECT OnDragEnter(CWnd*, COleDataObject* data, DWORD, CPoint) override { return Effect(data); }
    DROPEFFECT OnDragOver(CWnd*, COleDataObject* data, DWORD, CPoint) override { return Effect(data); }
    BOOL OnDrop(CWnd*, COleDataObject* data, DROPEFFECT, CPoint) override
    {
        HGLOBAL block = data->GetGlobalData(CF_HDROP);
        if (!block)
            return FALSE;
        dropped = NamesOf(reinterpret_cast<HDROP>(block));
        DragFinish(reinterpret_cast<HDROP>(block));
        return TRUE;
    }

    std::vector<std::string> dropped;

private:
    static DROPEFFECT Effect(COleDataObject* data)
    {
        return !data->IsDataAvailable(PrivateFormat()) && data->IsDataAvailable(CF_HDROP) ? DROPEFFECT_COPY
                                                                                          : DROPEFFECT_NONE;
    }
};

/// A drop source that only counts its references: the desktop's drag loop decides here.
class CountedSource final : public IDropSource
{
public:
    STDMETHODIMP QueryInterface(REFIID, void** object) override
    {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++refs; }
    STDMETHODIMP_(ULONG) Release() override { return --refs; }
    STDMETHODIMP QueryContinueDrag(BOOL, DWORD) override { return S_OK; }
    STDMETHODIMP GiveFeedback(DWORD) override { return DRAGDROP_S_USEDEFAULTCURSORS; }
    ULONG refs = 1;
};

class ScopedDragHook
{
public:
    explicit ScopedDragHook(std::function<DWORD(const QMimeData&, DWORD)> hook)
    {
        platform::shell::SetDragHook(std::move(hook));
    }
    ~ScopedDragHook() { platform::shell::SetDragHook(nullptr); }
};

class DragDropTest : public WindowFixture
{
};
} // namespace

TEST_F(DragDropTest, ADragCarriesThePathsAsUriListAndThePrivateFormat)
{
    Top(); // drags start on the user-interface thread
    const std::vector<std::string> paths = {"/tmp/photos/été 1.jpg", "/tmp/photos/-dash.png"};
    COleDataSource source;
    source.CacheGlobalData(CF_HDROP, DropFiles(paths));
    source.CacheGlobalData(PrivateFormat(), OneZeroByte());
    QList<QUrl> urls;
    QByteArray privateData;
    DWORD allowed = 0;
    ScopedDragHook hook(
        [&](const QMimeData& data, DWORD effects)
        {
            urls = data.urls();
            privateData = data.data(QString("application/x-") + kPrivateName);
            allowed = effects;
            return DROPEFFECT_MOVE;
        });
    EXPECT_EQ(source.DoDragDrop(DROPEFFECT_COPY | DROPEFFECT_MOVE), DROPEFFECT_MOVE);
    EXPECT_EQ(allowed, DROPEFFECT_COPY | DROPEFFECT_MOVE);
    ASSERT_EQ(urls.size(), 2);
    EXPECT_EQ(urls[0].toLocalFile().toStdString(), paths[0]);
    EXPECT_EQ(urls[1].toLocalFile().toStdString(), paths[1]);
    EXPECT_EQ(privateData, QByteArray(1, '\0'));
    EXPECT_EQ(platform::shell::MimeTypeOfFormat(CF_HDROP), "text/uri-list");
    EXPECT_EQ(platform::shell::MimeTypeOfFormat(CF_TEXT), "");
}

struct EffectCase
{
    const char* name;
    DWORD answer;  // what the target takes
    DWORD allowed; // what the drag allows
    HRESULT result;
    DWORD effect;
};

class DragEffectTest : public DragDropTest, public ::testing::WithParamInterface<EffectCase>
{
};

TEST_P(DragEffectTest, TheTargetsAnswerWithinTheAllowedEffects)
{
    const EffectCase& c = GetParam();
    Top();
    IDataObject* data = nullptr;
    ASSERT_EQ(platform::shell::CreateDataObject(IID_IDataObject, reinterpret_cast<void**>(&data)), S_OK);
    FORMATETC format{CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    STGMEDIUM medium{TYMED_HGLOBAL, DropFiles({"/tmp/a.jpg"}), nullptr};
    ASSERT_EQ(data->SetData(&format, &medium, TRUE), S_OK);
    CountedSource source;
    ScopedDragHook hook([&](const QMimeData&, DWORD) { return c.answer; });
    DWORD effect = 0xFF;
    EXPECT_EQ(DoDragDrop(data, &source, c.allowed, &effect), c.result);
    EXPECT_EQ(effect, c.effect);
    EXPECT_EQ(source.refs, 1u);
    data->Release();
}

INSTANTIATE_TEST_SUITE_P(
    Effects, DragEffectTest,
    ::testing::Values(EffectCase{"Copied", DROPEFFECT_COPY, DROPEFFECT_COPY | DROPEFFECT_MOVE,
                                 DRAGDROP_S_DROP, DROPEFFECT_COPY},
                      EffectCase{"Moved", DROPEFFECT_MOVE, DROPEFFECT_COPY | DROPEFFECT_MOVE, DRAGDROP_S_DROP,
                                 DROPEFFECT_MOVE},
                      EffectCase{"Refused", DROPEFFECT_NONE, DROPEFFECT_COPY, DRAGDROP_S_CANCEL,
                                 DROPEFFECT_NONE},
                      EffectCase{"NotAllowed", DROPEFFECT_LINK, DROPEFFECT_COPY | DROPEFFECT_MOVE,
                                 DRAGDROP_S_CANCEL, DROPEFFECT_NONE}),
    [](const ::testing::TestParamInfo<EffectCase>& info) { return info.param.name; });

TEST_F(DragDropTest, AFileDroppedFromOutsideReachesTheTargetWithItsNames)
{
    HWND window = Top(200, 150, 300, 200);
    RecordingTarget target(DROPEFFECT_COPY);
    ASSERT_EQ(RegisterDragDrop(window, &target), S_OK);
    EXPECT_EQ(target.refs, 2u);
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile("/home/user/Pictures/a b.jpg"), QUrl("https://example.org/x.jpg"),
                  QUrl::fromLocalFile("/home/user/Pictures/ü.png")});
    EXPECT_EQ(SendDrop(window, data, QPoint(30, 40), Qt::CopyAction | Qt::MoveAction, Qt::ControlModifier),
              Qt::CopyAction);
    EXPECT_EQ(target.steps, std::vector<std::string>({"enter", "over", "drop"}));
    EXPECT_EQ(target.offered, DROPEFFECT_COPY | DROPEFFECT_MOVE);
    EXPECT_EQ(target.keys, MK_LBUTTON | MK_CONTROL);
    POINT screen{30, 40};
    ClientToScreen(window, &screen);
    EXPECT_EQ(target.at.x, screen.x);
    EXPECT_EQ(target.at.y, screen.y);
    // Only local files are files to drop.
    EXPECT_EQ(target.names,
              std::vector<std::string>({"/home/user/Pictures/a b.jpg", "/home/user/Pictures/ü.png"}));
    EXPECT_FALSE(target.privateFormat);

    // A target that takes nothing leaves the drag refused.
    target.answer = DROPEFFECT_NONE;
    target.steps.clear();
    EXPECT_EQ(SendDrop(window, data, QPoint(30, 40), Qt::CopyAction), Qt::IgnoreAction);
    EXPECT_EQ(target.steps, std::vector<std::string>({"enter", "over", "leave"}));

    ASSERT_EQ(RevokeDragDrop(window), S_OK);
    EXPECT_EQ(target.refs, 1u);
}

TEST_F(DragDropTest, TheListsOwnDragIsRefusedAndAnotherProgramsFilesAreTaken)
{
    HWND window = Top(200, 150, 300, 200);
    CListDropTarget target;
    ASSERT_TRUE(target.Register(CWnd::FromHandle(window)));
    // The desktop's drag loop carries our own drag to our own window.
    ScopedDragHook hook(
        [&](const QMimeData& data, DWORD allowed)
        {
            Qt::DropActions actions;
            if (allowed & DROPEFFECT_COPY)
                actions |= Qt::CopyAction;
            if (allowed & DROPEFFECT_MOVE)
                actions |= Qt::MoveAction;
            const Qt::DropAction done = SendDrop(window, data, QPoint(50, 50), actions);
            return done == Qt::CopyAction   ? DROPEFFECT_COPY
                   : done == Qt::MoveAction ? DROPEFFECT_MOVE
                                            : DROPEFFECT_NONE;
        });
    {
        COleDataSource own;
        own.CacheGlobalData(CF_HDROP, DropFiles({"/tmp/photos/own.jpg"}));
        own.CacheGlobalData(PrivateFormat(), OneZeroByte());
        EXPECT_EQ(own.DoDragDrop(DROPEFFECT_COPY | DROPEFFECT_MOVE), DROPEFFECT_NONE);
        EXPECT_TRUE(target.dropped.empty());
    }
    {
        COleDataSource other;
        other.CacheGlobalData(CF_HDROP, DropFiles({"/media/card/DCIM/1.jpg", "/media/card/DCIM/2.jpg"}));
        EXPECT_EQ(other.DoDragDrop(DROPEFFECT_COPY | DROPEFFECT_MOVE), DROPEFFECT_COPY);
        EXPECT_EQ(target.dropped,
                  std::vector<std::string>({"/media/card/DCIM/1.jpg", "/media/card/DCIM/2.jpg"}));
    }
    target.Revoke();
}

TEST_F(DragDropTest, RegistrationIsOncePerWindowUntilRevoked)
{
    HWND window = Top();
    RecordingTarget first(DROPEFFECT_COPY);
    RecordingTarget second(DROPEFFECT_COPY);
    EXPECT_EQ(RegisterDragDrop(window, &first), S_OK);
    EXPECT_EQ(RegisterDragDrop(window, &second), DRAGDROP_E_ALREADYREGISTERED);
    EXPECT_EQ(RegisterDragDrop(reinterpret_cast<HWND>(0x7777), &second), DRAGDROP_E_INVALIDHWND);
    EXPECT_EQ(RegisterDragDrop(window, nullptr), E_INVALIDARG);
    EXPECT_EQ(RevokeDragDrop(window), S_OK);
    EXPECT_EQ(RevokeDragDrop(window), DRAGDROP_E_NOTREGISTERED);
    EXPECT_EQ(second.refs, 1u);
    EXPECT_EQ(first.refs, 1u);

    // A revoked window takes no drops; another target may take its place.
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile("/tmp/x.jpg")});
    EXPECT_EQ(SendDrop(window, data, QPoint(5, 5), Qt::CopyAction), Qt::IgnoreAction);
    EXPECT_TRUE(first.steps.empty());
    EXPECT_EQ(RegisterDragDrop(window, &second), S_OK);
    EXPECT_EQ(SendDrop(window, data, QPoint(5, 5), Qt::CopyAction), Qt::CopyAction);
    EXPECT_EQ(RevokeDragDrop(window), S_OK);
}

TEST(DragQueryFileTest, ReadsNarrowAndWideBlocksWithinTheirBounds)
{
    HGLOBAL narrow = DropFiles({"/a/one.jpg", "/b/two words.png"});
    auto drop = reinterpret_cast<HDROP>(narrow);
    EXPECT_EQ(DragQueryFileA(drop, 0xFFFFFFFF, nullptr, 0), 2u);
    EXPECT_EQ(DragQueryFileA(drop, 1, nullptr, 0), 16u); // the length without its zero
    char small[5];
    EXPECT_EQ(DragQueryFileA(drop, 1, small, sizeof small), 4u);
    EXPECT_STREQ(small, "/b/t");
    EXPECT_EQ(DragQueryFileA(drop, 2, small, sizeof small), 0u);
    DragFinish(drop);

    // Wide names, as other programs' blocks may carry them.
    const std::wstring names = L"/c/wide ä.jpg";
    HGLOBAL wide = GlobalAlloc(GHND, sizeof(DROPFILES) + (names.size() + 2) * sizeof(WCHAR));
    auto* p = static_cast<BYTE*>(GlobalLock(wide));
    const DROPFILES header{sizeof(DROPFILES), {0, 0}, FALSE, TRUE};
    std::memcpy(p, &header, sizeof header);
    std::memcpy(p + sizeof header, names.c_str(), names.size() * sizeof(WCHAR));
    GlobalUnlock(wide);
    EXPECT_EQ(NamesOf(reinterpret_cast<HDROP>(wide)), std::vector<std::string>{"/c/wide ä.jpg"});
    GlobalFree(wide);

    // A header that points outside its block, and a list without its closing zeros.
    HGLOBAL bad = GlobalAlloc(GHND, sizeof(DROPFILES) + 4);
    auto* q = static_cast<BYTE*>(GlobalLock(bad));
    DROPFILES outside{1000, {0, 0}, FALSE, FALSE};
    std::memcpy(q, &outside, sizeof outside);
    GlobalUnlock(bad);
    EXPECT_EQ(DragQueryFileA(reinterpret_cast<HDROP>(bad), 0xFFFFFFFF, nullptr, 0), 0u);
    q = static_cast<BYTE*>(GlobalLock(bad));
    DROPFILES inside{sizeof(DROPFILES), {0, 0}, FALSE, FALSE};
    std::memcpy(q, &inside, sizeof inside);
    std::memcpy(q + sizeof inside, "/abc", 4);
    GlobalUnlock(bad);
    EXPECT_EQ(NamesOf(reinterpret_cast<HDROP>(bad)), std::vector<std::string>{"/abc"});
    GlobalFree(bad);
    EXPECT_EQ(DragQueryFileA(nullptr, 0xFFFFFFFF, nullptr, 0), 0u);
}

TEST(DragImageTest, TheHelperIsMadeByClassAndTakesASourcesPicture)
{
    IDropTargetHelper* target = nullptr;
    ASSERT_EQ(CoCreateInstance(CLSID_DragDropHelper, nullptr, CLSCTX_INPROC_SERVER, IID_IDropTargetHelper,
                               reinterpret_cast<void**>(&target)),
              S_OK);
    POINT point{1, 2};
    EXPECT_EQ(target->DragEnter(nullptr, nullptr, &point, DROPEFFECT_COPY), S_OK);
    EXPECT_EQ(target->DragOver(&point, DROPEFFECT_COPY), S_OK);
    EXPECT_EQ(target->Drop(nullptr, &point, DROPEFFECT_COPY), S_OK);
    IDragSourceHelper* source = nullptr;
    ASSERT_EQ(target->QueryInterface(IID_IDragSourceHelper, reinterpret_cast<void**>(&source)), S_OK);
    IDataObject* data = nullptr;
    platform::shell::CreateDataObject(IID_IDataObject, reinterpret_cast<void**>(&data));
    BITMAPINFO bi = Dib32Info(8, -8);
    void* bits = nullptr;
    HBITMAP picture = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    SHDRAGIMAGE image{{8, 8}, {4, 4}, picture, RGB(0, 0, 0)};
    EXPECT_EQ(source->InitializeFromBitmap(&image, data), S_OK);
    EXPECT_EQ(source->InitializeFromBitmap(&image, nullptr), E_INVALIDARG);
    DeleteObject(picture);
    data->Release();
    source->Release();
    target->Release();
}
