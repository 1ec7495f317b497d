#include "platform/window/WinUser.h"
#include "platform/zorneth/Zorneth.h"

#include <QApplication>
#include <QPushButton>
#include <QThread>
#include <QTimer>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace
{
class MessageBoxSkinTest : public ::testing::Test
{
protected:
    void TearDown() override { platform::zorneth::ClearScriptedAnswers(); }

    /// Shows a real box and presses the button whose caption is `press` once the box is up.
    static int ShowAndPress(UINT style, const QString& press, bool escape = false)
    {
        ::GetDesktopWindow();
        QTimer::singleShot(0,
                           [press, escape]
                           {
                               QWidget* box = QApplication::activeModalWidget();
                               ASSERT_NE(box, nullptr);
                               if (escape)
                               {
                                   QMetaObject::invokeMethod(box, "reject");
                                   return;
                               }
                               for (auto* button : box->findChildren<QPushButton*>())
                                   if (button->text() == press)
                                       button->click();
                           });
        return MessageBoxSkinEx("Fine", "Stop", "Sure", "Nope", nullptr, "Text", "Title", style);
    }
};

TEST_F(MessageBoxSkinTest, ScriptedAnswersAreReturnedInOrderAndRecorded)
{
    platform::zorneth::SetScriptedAnswers({IDYES, IDNO});
    EXPECT_EQ(
        MessageBoxSkinEx("OK", "Cancel", "&Yes", "&No", nullptr, "first", "Cap", MB_YESNO | MB_ICONQUESTION),
        IDYES);
    EXPECT_EQ(MessageBoxSkinEx("OK", "Cancel", "&Yes", "&No", nullptr, "second", "Cap", 0x34), IDNO);
    EXPECT_EQ(MessageBoxSkinEx("OK", "Cancel", "&Yes", "&No", nullptr, "third", "Cap", MB_OK), IDCANCEL);
    auto boxes = platform::zorneth::ScriptedBoxes();
    ASSERT_EQ(boxes.size(), 3u);
    EXPECT_EQ(boxes[0].Text, "first");
    EXPECT_EQ(boxes[0].Caption, "Cap");
    EXPECT_EQ(boxes[0].Style, UINT(MB_YESNO | MB_ICONQUESTION));
    EXPECT_EQ(boxes[1].Style, 0x34u);
    EXPECT_EQ(boxes[2].Captions, (std::vector<std::string>{"OK", "Cancel", "&Yes", "&No"}));
}

TEST_F(MessageBoxSkinTest, RealBoxShowsTheGivenCaptionsAndReturnsThePressedButton)
{
    EXPECT_EQ(ShowAndPress(MB_YESNOCANCEL | MB_ICONQUESTION, "Nope"), IDNO);
    EXPECT_EQ(ShowAndPress(MB_YESNO, "Sure"), IDYES);
    EXPECT_EQ(ShowAndPress(MB_OK | MB_ICONHAND, "Fine"), IDOK);
}

TEST_F(MessageBoxSkinTest, ClosingWithoutAButtonCancelsOrDeclines)
{
    EXPECT_EQ(ShowAndPress(MB_YESNOCANCEL, {}, true), IDCANCEL);
    EXPECT_EQ(ShowAndPress(MB_YESNO, {}, true), IDNO);
    EXPECT_EQ(ShowAndPress(MB_OK, {}, true), IDOK);
}

TEST_F(MessageBoxSkinTest, AWorkersBoxIsShownByTheUserInterfaceThreadAndAnswered)
{
    // The program's first window makes the application on this thread.
    ::DestroyWindow(
        ::CreateWindowEx(0, "STATIC", "first", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr));
    std::atomic<int> answer{-1};
    bool shownOnUi = false;
    // Runs inside the box's own loop on the user-interface thread and presses "Yes".
    QTimer presser;
    QObject::connect(&presser, &QTimer::timeout,
                     [&]
                     {
                         if (QWidget* box = QApplication::activeModalWidget())
                         {
                             shownOnUi = box->thread() == QThread::currentThread();
                             for (auto* button : box->findChildren<QPushButton*>())
                                 if (button->text() == "Yes")
                                     button->click();
                         }
                     });
    presser.start(5);
    std::thread worker(
        [&]
        { answer = MessageBoxSkinEx("OK", "Cancel", "Yes", "No", nullptr, "from a worker", "c", MB_YESNO); });
    for (int i = 0; i < 5000 && answer == -1; ++i)
    {
        QApplication::processEvents(QEventLoop::AllEvents, 5);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    worker.join();
    EXPECT_EQ(answer, IDYES);
    EXPECT_TRUE(shownOnUi);
}

TEST_F(MessageBoxSkinTest, OwnerIsDisabledWhileTheBoxIsOpenAndEnabledAfter)
{
    HWND owner = ::CreateWindowEx(0, "STATIC", "owner", WS_POPUP | WS_VISIBLE, 0, 0, 50, 50, nullptr, nullptr,
                                  nullptr, nullptr);
    ASSERT_NE(owner, nullptr);
    BOOL enabledDuring = TRUE;
    QTimer::singleShot(0,
                       [&]
                       {
                           enabledDuring = ::IsWindowEnabled(owner);
                           if (auto* box = QApplication::activeModalWidget())
                               QMetaObject::invokeMethod(box, "reject");
                       });
    MessageBoxSkinEx(nullptr, nullptr, nullptr, nullptr, owner, "t", "c", MB_OK);
    EXPECT_FALSE(enabledDuring);
    EXPECT_TRUE(::IsWindowEnabled(owner));
    ::DestroyWindow(owner);
}
} // namespace
