#pragma once

#include <functional>
#include <mutex>

// The window answers while an operator command is on the line: in the UI thread, what waits for
// the line (the exchange lock held by a poll exchange, a transfer) runs in a helper thread while
// the UI thread handles its events. The operator's input waits until it is over, as it did when
// the UI thread waited itself, so that no second command starts in the middle of one.
// In any other thread, or without an application object, it runs in place.
void WaitOffUiThread(const std::function<void()>& work);

// In the UI thread: whether it is inside such a wait, serving events meanwhile.
bool UiThreadWaiting();

// ExchangeLock, taken as WaitOffUiThread waits: the UI thread does not stop while a poll exchange
// holds it.
std::unique_lock<std::recursive_mutex> TakeExchangeLock();
