#include "brevicam/media/AskOverWriteDlg.h"

#include "resources/brevicam/resource.h"
#include "tests/media/WindowFinder.h"
#include "tests/support/AppLoopSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>

namespace
{
/// What a test does once the prompt is on the screen; runs on the prompt's modal loop.
std::function<void(HWND)> s_act;
CAskOverWriteDlg* s_prompt = nullptr;

void CALLBACK ActOnPrompt(HWND, UINT, UINT_PTR id, DWORD)
{
    HWND window = s_prompt ? s_prompt->GetSafeHwnd() : nullptr;
    if (!window || !::IsWindowVisible(window))
        return;
    ::KillTimer(nullptr, id);
    s_act(window);
}

/// The same for a prompt the test did not make: it is found among the top-level windows.
void CALLBACK ActOnAnyPrompt(HWND, UINT, UINT_PTR id, DWORD)
{
    HWND prompt = media_test::WindowWithControl(IDC_OVERWRITE_TEXT);
    if (!prompt || !::IsWindowVisible(prompt))
        return;
    ::KillTimer(nullptr, id);
    s_act(prompt);
}

std::string TextOf(HWND window)
{
    char text[512] = {};
    ::GetWindowText(window, text, sizeof text);
    return text;
}

CRect ClientRectOf(HWND dialog, int id)
{
    CRect rect;
    ::GetWindowRect(::GetDlgItem(dialog, id), &rect);
    ::MapWindowPoints(nullptr, dialog, reinterpret_cast<LPPOINT>(&rect), 2);
    return rect;
}

void Click(HWND dialog, int id)
{
    ::SendMessage(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                  reinterpret_cast<LPARAM>(::GetDlgItem(dialog, id)));
}

class AskOverWriteDlgTest : public testing::Test
{
protected:
    void SetUp() override
    {
        m_parent.CreateEx(0, AfxRegisterWndClass(0), "parent", WS_POPUP | WS_VISIBLE, 10, 10, 700, 400,
                          nullptr, nullptr);
    }
    void TearDown() override
    {
        s_prompt = nullptr;
        s_act = nullptr;
        m_parent.DestroyWindow();
    }

    /// Runs the prompt for `file`, doing `act` once it shows.
    EOverwriteAnswer Ask(BOOL noCancel, const char* file, std::function<void(HWND)> act)
    {
        CAskOverWriteDlg prompt(noCancel, &m_parent);
        s_prompt = &prompt;
        s_act = std::move(act);
        ::SetTimer(nullptr, 0, 5, &ActOnPrompt);
        const EOverwriteAnswer answer = prompt.Ask(file, IDS_FILE_EXISTS_OVERWRITE);
        s_prompt = nullptr;
        return answer;
    }

    CWnd m_parent;
};

struct ButtonCase
{
    int id;
    const char* caption;
    EOverwriteAnswer answer;
};

class AnswerButtonTest : public AskOverWriteDlgTest, public testing::WithParamInterface<ButtonCase>
{
};

TEST_P(AnswerButtonTest, ButtonGivesItsAnswer)
{
    const ButtonCase& c = GetParam();
    std::string caption, question;
    bool parentDisabled = false;
    const EOverwriteAnswer answer = Ask(FALSE, "holiday.jpg",
                                        [&](HWND dialog)
                                        {
                                            caption = TextOf(::GetDlgItem(dialog, c.id));
                                            question = TextOf(::GetDlgItem(dialog, IDC_OVERWRITE_TEXT));
                                            parentDisabled = !m_parent.IsWindowEnabled();
                                            Click(dialog, c.id);
                                        });
    EXPECT_EQ(answer, c.answer);
    EXPECT_EQ(caption, c.caption);
    EXPECT_EQ(
        question,
        "The file holiday.jpg \nalready exists in the destination folder.\nDo you want to overwrite it?");
    EXPECT_TRUE(parentDisabled) << "the prompt is modal to its parent";
    EXPECT_TRUE(m_parent.IsWindowEnabled());
}

INSTANTIATE_TEST_SUITE_P(Buttons, AnswerButtonTest,
                         testing::Values(ButtonCase{IDC_OVERWRITE_YES, "&Yes", OVERWRITE_YES},
                                         ButtonCase{IDC_OVERWRITE_YES_ALL, "Yes to &all", OVERWRITE_YES_ALL},
                                         ButtonCase{IDC_OVERWRITE_NO, "&No", OVERWRITE_NO},
                                         ButtonCase{IDC_OVERWRITE_NO_ALL, "No &to all", OVERWRITE_NO_ALL},
                                         ButtonCase{IDC_OVERWRITE_CANCEL, "Cancel", OVERWRITE_CANCEL}),
                         [](const testing::TestParamInfo<ButtonCase>& info)
                         { return "Control" + std::to_string(info.param.id); });

TEST_F(AskOverWriteDlgTest, WithoutCancelTheFourButtonsSpreadOut)
{
    bool cancelVisible = true;
    std::vector<CRect> placed;
    const EOverwriteAnswer answer = Ask(
        TRUE, "a.jpg",
        [&](HWND dialog)
        {
            cancelVisible = ::IsWindowVisible(::GetDlgItem(dialog, IDC_OVERWRITE_CANCEL));
            for (int id : {IDC_OVERWRITE_YES, IDC_OVERWRITE_YES_ALL, IDC_OVERWRITE_NO, IDC_OVERWRITE_NO_ALL})
                placed.push_back(ClientRectOf(dialog, id));
            Click(dialog, IDC_OVERWRITE_NO_ALL);
        });
    EXPECT_EQ(answer, OVERWRITE_NO_ALL);
    EXPECT_FALSE(cancelVisible);
    ASSERT_EQ(placed.size(), 4u);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(placed[i], CRect(55 + 120 * i, 210, 55 + 120 * i + 112, 254)) << i;
}

TEST_F(AskOverWriteDlgTest, EscapeAnswersCancelWithOrWithoutTheButton)
{
    for (BOOL noCancel : {FALSE, TRUE})
    {
        const EOverwriteAnswer answer = Ask(noCancel, "a.jpg",
                                            [](HWND dialog)
                                            {
                                                ::PostMessage(dialog, WM_KEYDOWN, VK_ESCAPE, 0);
                                                ::PostMessage(dialog, WM_KEYUP, VK_ESCAPE, 0);
                                            });
        EXPECT_EQ(answer, OVERWRITE_CANCEL) << "no Cancel button: " << noCancel;
    }
}

TEST_F(AskOverWriteDlgTest, FiveButtonsFitTheDialog)
{
    CRect client;
    std::vector<CRect> placed;
    Ask(FALSE, "a.jpg",
        [&](HWND dialog)
        {
            ::GetClientRect(dialog, &client);
            for (int id : {IDC_OVERWRITE_YES, IDC_OVERWRITE_YES_ALL, IDC_OVERWRITE_NO, IDC_OVERWRITE_NO_ALL,
                           IDC_OVERWRITE_CANCEL})
                placed.push_back(ClientRectOf(dialog, id));
            Click(dialog, IDC_OVERWRITE_YES);
        });
    ASSERT_EQ(placed.size(), 5u);
    for (std::size_t i = 0; i < placed.size(); ++i)
    {
        EXPECT_EQ(placed[i].Size(), CSize(112, 44));
        EXPECT_GE(placed[i].left, 8);
        EXPECT_LE(placed[i].right, client.right - 8);
        if (i > 0)
        {
            EXPECT_GT(placed[i].left, placed[i - 1].right) << "buttons do not overlap";
        }
    }
}

TEST_F(AskOverWriteDlgTest, LongFileNameIsShortenedToFitTheLine)
{
    const std::string name = std::string(300, 'n') + ".jpg";
    std::string question;
    Ask(TRUE, name.c_str(),
        [&](HWND dialog)
        {
            question = TextOf(::GetDlgItem(dialog, IDC_OVERWRITE_TEXT));
            Click(dialog, IDC_OVERWRITE_YES);
        });
    EXPECT_EQ(question.find(name), std::string::npos);
    EXPECT_NE(question.find("..."), std::string::npos);
    EXPECT_NE(question.find("\nalready exists"), std::string::npos);
}

TEST_F(AskOverWriteDlgTest, WorkerThreadsPromptIsShownByTheInterfaceThread)
{
    std::atomic<bool> done{false};
    EOverwriteAnswer answer = OVERWRITE_CANCEL;
    DWORD promptThread = 0;
    s_act = [&](HWND prompt)
    {
        promptThread = ::GetWindowThreadProcessId(prompt, nullptr);
        Click(prompt, IDC_OVERWRITE_YES_ALL);
    };
    ::SetTimer(nullptr, 0, 5, &ActOnAnyPrompt);
    std::thread worker(
        [&]
        {
            answer = CAskOverWriteDlg::AskFromAnyThread(TRUE, &m_parent, "a.jpg", IDS_FILE_EXISTS_OVERWRITE);
            done = true;
        });
    const bool answered = testing_support::PumpAppUntil([&] { return done.load(); });
    worker.join();
    ASSERT_TRUE(answered);
    EXPECT_EQ(answer, OVERWRITE_YES_ALL);
    EXPECT_EQ(promptThread, ::GetCurrentThreadId());
}
} // namespace
