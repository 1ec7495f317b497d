#include "brevicam/core/Subject.h"

#include "brevicam/core/Observer.h"
#include "brevicam/core/StateSubjects.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace
{
enum class ETestState
{
    A = 0,
    B = 4
};

// Records its calls into a shared log and runs an optional action inside Update.
struct RecordingObserver : CObserver
{
    RecordingObserver(std::string n, std::vector<std::string>& l) : name(std::move(n)), log(l) {}
    void Update(CSubject*) override
    {
        log.push_back(name);
        if (action)
            action();
    }
    std::string name;
    std::vector<std::string>& log;
    std::function<void()> action;
};

class SubjectTest : public testing::Test
{
protected:
    std::vector<std::string> log;
    CSubject subject;
    RecordingObserver a{"a", log}, b{"b", log}, c{"c", log};
};
} // namespace

TEST_F(SubjectTest, AttachNotifiesEveryoneInAttachmentOrder)
{
    subject.Attach(&a);
    subject.Attach(&b);
    EXPECT_EQ(log, (std::vector<std::string>{"a", "a", "b"}));
}

TEST_F(SubjectTest, ObserverAttachedTwiceIsCalledTwiceAndDetachRemovesOneEntry)
{
    subject.Attach(&a);
    subject.Attach(&a);
    log.clear();
    subject.Notify();
    EXPECT_EQ(log, (std::vector<std::string>{"a", "a"}));
    subject.Detach(&a);
    subject.Detach(&b); // never attached: ignored
    log.clear();
    subject.Notify();
    EXPECT_EQ(log, (std::vector<std::string>{"a"}));
}

TEST_F(SubjectTest, SelfDetachInsideUpdateStillCallsTheRest)
{
    subject.Attach(&a);
    subject.Attach(&b);
    subject.Attach(&c);
    b.action = [&] { subject.Detach(&b); };
    log.clear();
    subject.Notify();
    EXPECT_EQ(log, (std::vector<std::string>{"a", "b", "c"}));
    log.clear();
    subject.Notify();
    EXPECT_EQ(log, (std::vector<std::string>{"a", "c"}));
}

TEST_F(SubjectTest, DetachingALaterObserverInsideUpdateSkipsIt)
{
    subject.Attach(&a);
    subject.Attach(&b);
    subject.Attach(&c);
    a.action = [&] { subject.Detach(&c); };
    log.clear();
    subject.Notify();
    EXPECT_EQ(log, (std::vector<std::string>{"a", "b"}));
}

TEST_F(SubjectTest, DetachingAnEarlierObserverInsideUpdateNeitherSkipsNorRepeats)
{
    subject.Attach(&a);
    subject.Attach(&b);
    subject.Attach(&c);
    b.action = [&] { subject.Detach(&a); };
    log.clear();
    subject.Notify();
    EXPECT_EQ(log, (std::vector<std::string>{"a", "b", "c"}));
}

TEST_F(SubjectTest, AttachInsideUpdateCallsTheNewcomerOnceAndNoOneTwice)
{
    subject.Attach(&a);
    subject.Attach(&b);
    a.action = [&]
    {
        a.action = nullptr;
        subject.Attach(&c); // its own notification calls a, b and c
    };
    log.clear();
    subject.Notify();
    // Outer: a -> (inner: a, b, c) -> b. The newcomer is not called again by the outer pass.
    EXPECT_EQ(log, (std::vector<std::string>{"a", "a", "b", "c", "b"}));
}

TEST(StateSubjectTest, SetStateNotifiesEvenWhenUnchanged)
{
    std::vector<std::string> log;
    CBasicStateSubj<ETestState> subject(ETestState::B);
    EXPECT_EQ(subject.GetState(), ETestState::B);
    subject.SetState(ETestState::A); // no observers: only stores
    RecordingObserver o{"o", log};
    subject.Attach(&o);
    subject.SetState(ETestState::A);
    subject.SetState(ETestState::A);
    EXPECT_EQ(log.size(), 3u);
    EXPECT_EQ(subject.m_state, 0);
    subject.Detach(&o);
}

TEST(StateSubjectTest, MessageIsCutTo259Bytes)
{
    CAdvStateSubj<ETestState> subject(ETestState::B, "");
    EXPECT_STREQ(subject.GetMessage(), "");
    subject.SetMessage(std::string(300, 'x').c_str());
    EXPECT_EQ(std::string(subject.GetMessage()), std::string(259, 'x'));
    subject.SetMessage(std::string(259, 'y').c_str());
    EXPECT_EQ(std::string(subject.GetMessage()), std::string(259, 'y'));
    EXPECT_EQ(subject.GetState(), ETestState::B);
}
