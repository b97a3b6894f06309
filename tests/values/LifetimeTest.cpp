// Destruction, linking and reassignment from inside notifications. Run under the sanitizer build:
// a dangling reference shows up there as a failure.
#include "values/IOData.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

using TValue = std::unique_ptr<TCustomIOData>;

TValue MakeValue()
{
    return std::make_unique<TCustomIOData>();
}

}  // namespace

TEST(Lifetime, DestroyingASourceDetachesItsObservers)
{
    auto source = MakeValue();
    TCustomIOData first, second;
    first.Link(source.get());
    second.Link(source.get());
    source->SetValue(17);
    source.reset();
    EXPECT_EQ(first.Source(), nullptr);
    EXPECT_EQ(second.Source(), nullptr);
    EXPECT_EQ(first.GetOutValue(), TVariant(17));
    first.Link(nullptr);  // nothing left to leave
}

TEST(Lifetime, DestroyingAnObserverLeavesItsSourceList)
{
    TCustomIOData source;
    auto observer = MakeValue();
    TCustomIOData other;
    observer->Link(&source);
    other.Link(&source);
    observer.reset();
    EXPECT_EQ(source.Observers(), std::vector<TIOData*>{&other});
    source.SetValue(1);
    EXPECT_EQ(other.GetOutValue(), TVariant(1));
}

TEST(Lifetime, AValueMayDestroyItselfInEachOfItsNotifications)
{
    for (int which = 0; which < 4; ++which) {
        TCustomIOData upstream;
        auto value = MakeValue();
        TCustomIOData observer;
        value->Link(&upstream, false);
        observer.Link(value.get(), false);
        TNotifyEvent* events[] = {&value->OnSetValue, &value->OnValueChange, &value->OnUpdate,
                                 &value->OnChange};
        TValue* holder = &value;
        *events[which] = [holder](TIOData*) { holder->reset(); };
        upstream.SetValue(5);
        EXPECT_EQ(value, nullptr) << which;
        EXPECT_TRUE(upstream.Observers().empty()) << which;
        EXPECT_EQ(observer.Source(), nullptr) << which;
        EXPECT_EQ(observer.GetOutValue(), TVariant(0)) << which;  // the update stopped with it
        upstream.SetValue(6);
    }
}

TEST(Lifetime, ASubscriberMayDestroyItsValueAndUseItsCapturesAfterwards)
{
    auto value = MakeValue();
    int calls = 0;
    bool gone = false;
    TValue* holder = &value;
    value->OnChange = [holder, &calls, &gone](TIOData*) {
        holder->reset();
        ++calls;
        gone = *holder == nullptr;
    };
    value->SetValue(1);
    EXPECT_EQ(calls, 1);
    EXPECT_TRUE(gone);
}

TEST(Lifetime, AnObserverDestroyingItselfLetsTheWalkGoOn)
{
    TCustomIOData source;
    auto first = MakeValue();
    TCustomIOData second;
    first->Link(&source);
    second.Link(&source);
    TValue* holder = &first;
    first->OnChange = [holder](TIOData*) { holder->reset(); };
    source.SetValue(2);
    EXPECT_EQ(first, nullptr);
    EXPECT_EQ(second.GetOutValue(), TVariant(2));
    EXPECT_EQ(source.Observers(), std::vector<TIOData*>{&second});
}

TEST(Lifetime, AnObserverDestroyingItsSourceStopsTheWalk)
{
    auto source = MakeValue();
    TCustomIOData first, second;
    first.Link(source.get());
    second.Link(source.get());
    TValue* holder = &source;
    first.OnChange = [holder](TIOData*) { holder->reset(); };
    source->SetValue(3);
    EXPECT_EQ(source, nullptr);
    EXPECT_EQ(first.GetOutValue(), TVariant(3));
    EXPECT_EQ(second.Source(), nullptr);
    EXPECT_EQ(second.GetOutValue(), TVariant(0));
}

TEST(Lifetime, AnObserverDestroyingALaterOneSkipsIt)
{
    TCustomIOData source;
    TCustomIOData first;
    auto second = MakeValue();
    TCustomIOData third;
    first.Link(&source);
    second->Link(&source);
    third.Link(&source);
    TValue* holder = &second;
    first.OnChange = [holder](TIOData*) { holder->reset(); };
    source.SetValue(4);
    EXPECT_EQ(third.GetOutValue(), TVariant(4));
    EXPECT_EQ(source.Observers(), (std::vector<TIOData*>{&first, &third}));
}

TEST(Lifetime, RelinkingDuringAWalkIsServedOnceAndOnlyOnce)
{
    TCustomIOData source, first, second;
    first.Link(&source);
    second.Link(&source);
    int secondUpdates = 0;
    TIOData* sourcePtr = &source;
    first.OnChange = [sourcePtr, &second](TIOData*) { second.Link(sourcePtr, false); };
    second.OnUpdate = [&secondUpdates](TIOData*) { ++secondUpdates; };
    source.SetValue(5);
    // second left its slot and joined at the end, after the walk's count.
    EXPECT_EQ(secondUpdates, 0);
    EXPECT_EQ(source.Observers(), (std::vector<TIOData*>{&first, &second}));
    first.OnChange = nullptr;
    source.SetValue(6);
    EXPECT_EQ(secondUpdates, 1);
}

TEST(Lifetime, ASubscriberMayReplaceItselfWhileRunning)
{
    TCustomIOData value;
    int total = 0;
    std::vector<int> captured(3);
    value.OnChange = [&total, &value, captured](TIOData*) {
        value.OnChange = nullptr;
        total += int(captured.size());  // its captures outlive the reassignment
    };
    value.SetValue(3);
    value.SetValue(4);
    EXPECT_EQ(total, 3);
}

TEST(Lifetime, ReentrantUpdatesOfTheSameValueStayConsistent)
{
    TCustomIOData value, observer;
    observer.Link(&value);
    std::vector<int> seen;
    value.OnChange = [&value](TIOData*) {
        if (value.GetOutValue().ToInteger() < 3)
            value.SetValue(value.GetOutValue().ToInteger() + 1);
    };
    observer.OnUpdate = [&seen](TIOData* sender) { seen.push_back(sender->GetOutValue().ToInteger()); };
    value.SetValue(1);
    // Each level hands on the value's current OutValue, so the observer ends where the value is.
    EXPECT_EQ(value.GetOutValue(), TVariant(3));
    EXPECT_EQ(observer.GetOutValue(), TVariant(3));
    EXPECT_EQ(seen, (std::vector<int>{3, 3, 3}));
}

TEST(Lifetime, DestroyingAValueDuringAReentrantUpdateStopsEveryLevel)
{
    auto value = MakeValue();
    TCustomIOData observer;
    observer.Link(value.get());
    TValue* holder = &value;
    int depth = 0;
    value->OnChange = [holder, &depth](TIOData*) {
        if (++depth < 3)
            (*holder)->SetValue(depth + 10);
        else
            holder->reset();
    };
    value->SetValue(1);
    EXPECT_EQ(value, nullptr);
    EXPECT_EQ(depth, 3);
    EXPECT_EQ(observer.Source(), nullptr);
    EXPECT_EQ(observer.GetOutValue(), TVariant(0));
}
