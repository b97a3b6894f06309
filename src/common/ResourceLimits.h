#pragma once

#include <QString>

#include <exception>

// Running out of memory, threads or file descriptors is told as such and ends the process with
// exit code 1: never a core dump, never a symptom taken for the cause ("no answer" when the port's
// event could not be made).

// The fewest descriptors the program runs on: the port and its events, the logs, the history
// database with its journal, the event loop and the stop-signal pipe, with room to spare.
constexpr int kMinFileDescriptors = 64;

// A Russian message (UTF-8) naming what ran out, for an exception that escaped; null for other
// failures. A literal: nothing is allocated when memory is gone.
const char* ResourceFailureText(const std::exception_ptr& failure);

// What the process may open is below kMinFileDescriptors: the message saying so, else empty.
QString FileDescriptorShortage();

// Installs the handler of exceptions that nothing caught (on any thread): a lack of resources is
// told on standard error and the process ends with code 1; anything else aborts as before.
void InstallResourceFailureHandler();

// Tells the cause (UTF-8) on standard error and ends the process with code 1 at once.
[[noreturn]] void EndForLackOfResources(const char* text);
