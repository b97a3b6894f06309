#include "device/RequestThread.h"

#include "common/OperatorMessage.h"
#include "device/CommandTable.h"
#include "device/Exchange.h"
#include "device/Polling.h"
#include "device/Vantor.h"
#include "device/SignatureFields.h"
#include "device/VantorUnit.h"

#include <pthread.h>

#include <chrono>
#include <exception>
#include <memory>

using namespace vantor;

namespace {

// Ends a cycle whose exchange met a device that went away.
struct TDeviceLost
{
};

}  // namespace

TRequestThread::TRequestThread() : Worker_([this] { Execute(); }) {}

TRequestThread::~TRequestThread()
{
    Terminate();
}

void TRequestThread::Resume()
{
    {
        const std::lock_guard lock(Mutex_);
        if (Running_ || Terminated_)
            return;
        Resumed_ = true;
    }
    Wake_.notify_all();
}

void TRequestThread::RequestStop()
{
    {
        const std::lock_guard lock(Mutex_);
        Terminated_ = true;
    }
    Wake_.notify_all();
}

void TRequestThread::Terminate()
{
    RequestStop();
    if (Worker_.joinable())
        Worker_.join();
}

bool TRequestThread::Stopping() const
{
    const std::lock_guard lock(Mutex_);
    return Terminated_;
}

bool TRequestThread::Busy() const
{
    const std::lock_guard lock(Mutex_);
    return Running_ || Resumed_;
}

void TRequestThread::Execute()
{
    // Named, so that its share of the process can be told apart (top -H, /proc).
    pthread_setname_np(pthread_self(), "request");
    for (;;) {
        {
            std::unique_lock lock(Mutex_);
            Wake_.wait(lock, [this] { return Resumed_ || Terminated_; });
            if (Terminated_)
                return;
            Resumed_ = false;
            Running_ = true;
        }
        RunCycle();
        const std::lock_guard lock(Mutex_);
        Running_ = false;
    }
}

bool TRequestThread::RunCycle()
{
    if (DeviceAway())
        return false;
    bool result = false;
    try {
        result = RunPoll();
        if (Lost_)
            return false;
        // Read where it is raised: the UI thread may reassign or clear it at any moment.
        Synchronize([this] {
            if (!OnCycle)
                return;
            if (TVantor* vantor = Vantor())
                OnCycle(this, vantor->Title);
        });
    } catch (...) {
        Calls_.Post([] { ShowDiagnostic(QStringLiteral("Функция"), QStringLiteral("OprosDevices")); });
        result = false;
    }
    return result;
}

bool TRequestThread::RunPoll()
{
    Lost_ = false;
    TVantor* vantor = Vantor();
    if (!vantor)
        return false;
    // Under the lock, so that a command setting CurrentInput for its own exchange keeps it.
    quint8 previous = 0;
    int first = 0;
    {
        const std::lock_guard lock(ExchangeLock);
        previous = vantor->CurrentInput;
        first = previous >= kInputCount - kGroupSize + 1 ? 1 : previous + kGroupSize;
        vantor->CurrentInput = static_cast<quint8>(first);
    }
    Group = first;
    GroupRead = false;
    try {
        CommandTable().NameGroup(first);
    } catch (...) {
        // The exchanges go on under the old names.
    }

    try {
        bool ok = false;
        if (first == 1) {
            PollAndParse(cmdGeneralInfo, ok);
            if (!Pause(ComPauseRead))
                return false;
        }
        PollAndParse(cmdReadInputs, ok);
        GroupRead = Parsed_;
        if (!ok)
            return false;
        if (!PollSettings)
            return true;
        if (!Pause(ComPauseRead))
            return false;
        PollAndParse(cmdReadSettings, ok);
        return ok;
    } catch (const TDeviceLost&) {
        // Unless a command has taken CurrentInput meanwhile.
        const std::lock_guard lock(ExchangeLock);
        if (vantor->CurrentInput == first)
            vantor->CurrentInput = previous;
        return false;
    } catch (...) {
        // A failure inside the exchanges ends the cycle; OnCycle is still raised.
        return false;
    }
}

void TRequestThread::PollAndParse(int command, bool& ok)
{
    for (bool again = true; again;) {
        QByteArray request, answer;
        Parsed_ = false;
        Refused_ = false;
        ok = PollExchange(command, Group, request, answer, Mark_, [this] { return Stopping(); });
        // An answer that never came because the device went away says nothing about the controller.
        if (!ok && DeviceAway()) {
            Lost_ = true;
            throw TDeviceLost();
        }
        Request = request;
        Answer = answer;
        Command = static_cast<quint8>(command);
        // An answer the parse refused as another group's fails the exchange whatever its length.
        if (!Synchronize([this] { ParseReceived(); }) || Refused_)
            ok = false;
        // Refused on a settled line for the probes it names: asked again in doubt, the group's
        // own answer is proven by coming twice, so that a replaced probe is learned, never frozen.
        again = Refused_ && Mark_.Trust == atSettled && !Stopping();
    }
}

void TRequestThread::ParseReceived()
{
    TVantor* vantor = Vantor();
    if (!vantor)
        return;
    try {
        Parsed_ = vantor->ParseAnswer(Command, Request, Answer, Mark_.Trust);
    } catch (const EConvertError& e) {
        ShowDiagnostic(QStringLiteral("TRequestThread.Visual"), QString::fromStdString(e.what()));
    }
    if (Parsed_)
        AnswerAccepted(Mark_);
    Refused_ = vantor->AnswerForeign();
}

bool TRequestThread::Synchronize(std::function<void()> call)
{
    // The UI thread may be shutting down and waiting for this worker: the wait ends on Terminate,
    // and a call still queued then is dropped with this object or skipped. An exception of the
    // call passes on to the worker, as if the call had run here.
    struct TCall
    {
        bool Done = false;
        std::exception_ptr Failure;
    };
    auto state = std::make_shared<TCall>();
    Calls_.Post([this, state, call = std::move(call)] {
        {
            const std::lock_guard lock(Mutex_);
            if (Terminated_)
                return;
        }
        std::exception_ptr failure;
        try {
            call();
        } catch (...) {
            failure = std::current_exception();
        }
        {
            const std::lock_guard lock(Mutex_);
            state->Failure = failure;
            state->Done = true;
        }
        Wake_.notify_all();
    });
    std::unique_lock lock(Mutex_);
    Wake_.wait(lock, [this, &state] { return state->Done || Terminated_; });
    if (!state->Done)
        return false;
    if (state->Failure)
        std::rethrow_exception(state->Failure);
    return true;
}

bool TRequestThread::Pause(int ms)
{
    std::unique_lock lock(Mutex_);
    return !Wake_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return Terminated_; });
}
