#include "values/IOData.h"

#include "MessageRecorder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <stdexcept>
#include <vector>

namespace {

// Writes "<name>:<notification>" for each notification the value raises.
void Record(TIOData& value, QStringList& log, const QString& name)
{
    value.OnSetValue = [&log, name](TIOData*) { log << name + ":set"; };
    value.OnValueChange = [&log, name](TIOData*) { log << name + ":valueChange"; };
    value.OnUpdate = [&log, name](TIOData*) { log << name + ":update"; };
    value.OnChange = [&log, name](TIOData*) { log << name + ":change"; };
}

const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();

}  // namespace

TEST(IOData, StartsUnlinkedActiveAtZeroStampedNow)
{
    const TDateTime before = NowDateTime();
    TCustomIOData value;
    EXPECT_EQ(value.GetValue().Kind(), TVariant::TKind::UInt8);
    EXPECT_EQ(value.GetOutValue().Kind(), TVariant::TKind::UInt8);
    EXPECT_EQ(value.GetOutValue().ToInteger(), 0);
    EXPECT_TRUE(value.Active);
    EXPECT_EQ(value.Tag, 0);
    EXPECT_EQ(value.Source(), nullptr);
    EXPECT_GE(value.TimeOut.GetTime(), before);
    EXPECT_LE(value.TimeOut.GetTime(), NowDateTime());
}

TEST(IOData, NotifiesInOrderAndEqualValuesStillUpdate)
{
    QStringList log;
    TCustomIOData source;
    TCustomIOData observer;
    observer.Link(&source, false);
    Record(source, log, "s");
    Record(observer, log, "o");

    source.SetValue(5, 1000.25);
    EXPECT_EQ(log, QStringList({"s:set", "s:valueChange", "s:update", "s:change", "o:set",
                                "o:valueChange", "o:update", "o:change"}));
    EXPECT_EQ(observer.GetOutValue(), TVariant(5));
    EXPECT_EQ(observer.TimeOut.GetTime(), 1000.25);

    // The same number again: no change notifications, but the time and the observers move on.
    log.clear();
    source.SetValue(5.0, 1001.5);
    EXPECT_EQ(log, QStringList({"s:set", "s:update", "o:set", "o:update"}));
    EXPECT_EQ(source.TimeOut.GetTime(), 1001.5);
    EXPECT_EQ(observer.TimeOut.GetTime(), 1001.5);
}

TEST(IOData, TimeZeroMeansNowAndAChainCarriesTheFirstTime)
{
    TCustomIOData a, b, c;
    b.Link(&a);
    c.Link(&b);
    const TDateTime before = NowDateTime();
    a.SetValue(1);
    EXPECT_GE(a.TimeOut.GetTime(), before);
    EXPECT_LE(a.TimeOut.GetTime(), NowDateTime());
    EXPECT_EQ(c.TimeOut.GetTime(), a.TimeOut.GetTime());

    a.SetValue(2, 44000.125);
    EXPECT_EQ(b.TimeOut.GetTime(), 44000.125);
    EXPECT_EQ(c.TimeOut.GetTime(), 44000.125);
    EXPECT_EQ(c.GetOutValue(), TVariant(2));
}

TEST(IOData, InactiveValueStoresButTellsNoOne)
{
    QStringList log;
    TCustomIOData source, observer;
    observer.Link(&source);
    Record(source, log, "s");
    source.Active = false;
    source.SetValue(9, 500.0);
    EXPECT_TRUE(log.isEmpty());
    EXPECT_EQ(source.GetValue(), TVariant(9));
    EXPECT_EQ(source.TimeOut.GetTime(), 500.0);
    EXPECT_EQ(source.GetOutValue(), TVariant(0));
    EXPECT_EQ(observer.GetOutValue(), TVariant(0));
}

TEST(IOData, NaNAndInfinityNeverCountAsChange)
{
    QStringList log;
    TiodDoubleToDouble value;
    value.SetValue(1.0);
    Record(value, log, "v");

    value.SetValue(kNaN);
    value.SetValue(2.0);  // compared against the NaN: no change either
    value.SetValue(kInf);
    value.SetValue(-kInf);
    EXPECT_FALSE(log.contains("v:change"));
    EXPECT_FALSE(log.contains("v:valueChange"));
    EXPECT_EQ(log.count("v:update"), 4);

    log.clear();
    value.SetValue(3.0);
    value.SetValue(3.0);
    value.SetValue(4.0);
    EXPECT_EQ(log.count("v:change"), 1);  // -inf -> 3 is none, 3 -> 4 is one
    EXPECT_EQ(value.GetOutValue(), TVariant(4.0));
}

TEST(IOData, ObserversAreServedDepthFirstInLinkOrder)
{
    QStringList log;
    TCustomIOData source, first, second, grandchild;
    first.Link(&source);
    second.Link(&source);
    grandchild.Link(&first);
    first.OnUpdate = [&log](TIOData*) { log << "first"; };
    second.OnUpdate = [&log](TIOData*) { log << "second"; };
    grandchild.OnUpdate = [&log](TIOData*) { log << "grandchild"; };
    source.SetValue(1);
    EXPECT_EQ(log, QStringList({"first", "grandchild", "second"}));
    EXPECT_EQ(source.Observers(), (std::vector<TIOData*>{&first, &second}));
}

TEST(IOData, LinkTakesTheSourceStateOnlyWhenAskedTo)
{
    TCustomIOData source;
    source.SetValue(42, 123.5);

    TCustomIOData now;
    now.Link(&source, true);
    EXPECT_EQ(now.GetOutValue(), TVariant(42));
    EXPECT_EQ(now.TimeOut.GetTime(), 123.5);

    TCustomIOData later;
    const TDateTime created = later.TimeOut.GetTime();
    later.Link(&source, false);
    EXPECT_EQ(later.GetOutValue(), TVariant(0));
    EXPECT_EQ(later.TimeOut.GetTime(), created);
    source.SetValue(43);
    EXPECT_EQ(later.GetOutValue(), TVariant(43));
}

TEST(IOData, AValueHasOneSourceAtATime)
{
    TCustomIOData first, second, value;
    value.Link(&first);
    value.Link(&second);
    EXPECT_TRUE(first.Observers().empty());
    EXPECT_EQ(second.Observers(), std::vector<TIOData*>{&value});
    EXPECT_EQ(value.Source(), &second);

    value.Link(&second);  // relinking never lists a value twice
    EXPECT_EQ(second.Observers().size(), 1u);

    value.Link(nullptr);
    EXPECT_EQ(value.Source(), nullptr);
    EXPECT_TRUE(second.Observers().empty());
}

TEST(IOData, UnlinkLeavesTheSourceListWhateverTheArgument)
{
    auto source = std::make_unique<TCustomIOData>();
    auto observer = std::make_unique<TCustomIOData>();
    observer->Link(source.get());
    observer->Unlink(nullptr);
    EXPECT_EQ(observer->Source(), nullptr);
    EXPECT_TRUE(source->Observers().empty());
    observer.reset();
    source->SetValue(1);  // would reach a freed observer if it were still listed
}

TEST(IOData, LinksThatWouldLoopAreRefused)
{
    TCustomIOData a, b, c;
    a.Link(&a);
    EXPECT_EQ(a.Source(), nullptr);
    EXPECT_TRUE(a.Observers().empty());

    b.Link(&a);
    c.Link(&b);
    a.Link(&c);
    EXPECT_EQ(a.Source(), nullptr);
    c.SetValue(3);
    a.SetValue(4);
    EXPECT_EQ(c.GetOutValue(), TVariant(4));
}

TEST(IOData, LinkClassesConvert)
{
    TiodThreeStatesToThreeStates states;
    states.SetValue(258);
    EXPECT_EQ(states.GetOutValue().Kind(), TVariant::TKind::UInt8);
    EXPECT_EQ(states.GetOutValue().ToInteger(), tsTrue);

    TiodIntegerToInteger integer;
    integer.SetValue(quint8(7));
    EXPECT_EQ(integer.GetOutValue().Kind(), TVariant::TKind::Int32);
    EXPECT_EQ(integer.GetValue().Kind(), TVariant::TKind::UInt8);

    TiodDoubleToDouble floating;
    floating.Link(&integer);
    EXPECT_EQ(floating.GetOutValue().Kind(), TVariant::TKind::Double);
    EXPECT_EQ(floating.GetOutValue().ToDouble(), 7.0);
}

TEST(IOData, AssignCopiesOnlyTheActiveFlag)
{
    TCustomIOData source, target, observer;
    source.Active = false;
    source.SetValue(5);
    source.Tag = 3;
    observer.Link(&source);
    target.Assign(source);
    EXPECT_FALSE(target.Active);
    EXPECT_EQ(target.GetValue(), TVariant(0));
    EXPECT_EQ(target.Tag, 0);
    EXPECT_TRUE(target.Observers().empty());
}

TEST(IOData, FailedConversionIsReportedAndKeepsTheOldOutValue)
{
    MessageRecorder messages;
    QStringList log;
    TiodIntegerToInteger value;
    TCustomIOData observer;
    value.SetValue(5);
    observer.Link(&value);
    Record(value, log, "v");

    value.SetValue(kNaN, 300.0);
    EXPECT_EQ(messages.Messages, QStringList{kFailureMessage});
    EXPECT_TRUE(std::isnan(value.GetValue().ToDouble()));
    EXPECT_EQ(value.TimeOut.GetTime(), 300.0);
    EXPECT_EQ(value.GetOutValue(), TVariant(5));
    EXPECT_EQ(observer.GetOutValue(), TVariant(5));
    EXPECT_NE(observer.TimeOut.GetTime(), 300.0);
    EXPECT_EQ(log, QStringList({"v:set"}));
}

TEST(IOData, ThrowingSubscriberBeforeConversionIsReported)
{
    MessageRecorder messages;
    TCustomIOData value, observer;
    observer.Link(&value);
    value.OnSetValue = [](TIOData*) { throw std::runtime_error("subscriber"); };
    EXPECT_NO_THROW(value.SetValue(8));
    EXPECT_EQ(messages.Messages, QStringList{kFailureMessage});
    EXPECT_EQ(value.GetValue(), TVariant(8));
    EXPECT_EQ(value.GetOutValue(), TVariant(0));
    EXPECT_EQ(observer.GetOutValue(), TVariant(0));

    messages.Messages.clear();
    value.OnSetValue = nullptr;
    value.OnValueChange = [](TIOData*) { throw 1; };
    value.SetValue(9);
    EXPECT_EQ(messages.Messages, QStringList{kFailureMessage});
    EXPECT_EQ(value.GetOutValue(), TVariant(0));
}

TEST(IOData, ThrowingSubscriberAfterConversionEndsTheUpdateSilently)
{
    MessageRecorder messages;
    QStringList log;
    TCustomIOData value, observer;
    observer.Link(&value);
    value.OnUpdate = [&log](TIOData*) {
        log << "update";
        throw std::runtime_error("display");
    };
    value.OnChange = [&log](TIOData*) { log << "change"; };
    EXPECT_NO_THROW(value.SetValue(3));
    EXPECT_EQ(log, QStringList{"update"});
    EXPECT_EQ(value.GetOutValue(), TVariant(3));
    EXPECT_EQ(observer.GetOutValue(), TVariant(0));
    EXPECT_TRUE(messages.Messages.isEmpty());

    // An observer's failure stays inside the observer: the next observer is still served.
    TCustomIOData second;
    second.Link(&value);
    value.OnUpdate = nullptr;
    observer.OnSetValue = [](TIOData*) { throw 2; };
    value.SetValue(4);
    EXPECT_EQ(second.GetOutValue(), TVariant(4));
    EXPECT_EQ(messages.Messages, QStringList{kFailureMessage});
}

TEST(IOData, AFailingMessageFunctionDoesNotEscape)
{
    const TShowMessage previous =
        SetShowMessage([](const QString&, const QString&, TMessageIcon) { throw std::runtime_error("box"); });
    TiodIntegerToInteger value;
    EXPECT_NO_THROW(value.SetValue(kNaN));
    SetShowMessage(previous);
}
