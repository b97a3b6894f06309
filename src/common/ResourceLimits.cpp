#include "common/ResourceLimits.h"

#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <system_error>

namespace {

std::terminate_handler previousHandler = nullptr;

void OnTerminate()
{
    if (const std::exception_ptr failure = std::current_exception()) {
        if (const char* text = ResourceFailureText(failure))
            EndForLackOfResources(text);
    }
    if (previousHandler)
        previousHandler();
    std::abort();
}

}  // namespace

const char* ResourceFailureText(const std::exception_ptr& failure)
{
    try {
        std::rethrow_exception(failure);
    } catch (const std::bad_alloc&) {
        return "Недостаточно памяти: программа завершена.";
    } catch (const std::system_error& e) {
        const int code = e.code().value();
        if (e.code().category() != std::system_category() && e.code().category() != std::generic_category())
            return nullptr;
        if (code == EMFILE || code == ENFILE)
            return "Исчерпан запас файловых дескрипторов (ulimit -n): программа завершена.";
        if (code == EAGAIN || code == ENOMEM)
            return "Не удалось создать поток: недостаточно памяти или процессов (ulimit -v, ulimit -u); "
                   "программа завершена.";
    } catch (...) {
    }
    return nullptr;
}

QString FileDescriptorShortage()
{
    struct rlimit limit {};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY ||
        limit.rlim_cur >= rlim_t(kMinFileDescriptors))
        return {};
    return QStringLiteral("Слишком мало файловых дескрипторов: разрешено %1 (ulimit -n), нужно не меньше %2.")
        .arg(qulonglong(limit.rlim_cur))
        .arg(kMinFileDescriptors);
}

void InstallResourceFailureHandler()
{
    if (!previousHandler)
        previousHandler = std::set_terminate(OnTerminate);
}

void EndForLackOfResources(const char* text)
{
    // Nothing that needs memory: two plain writes.
    [[maybe_unused]] auto written = write(STDERR_FILENO, text, std::strlen(text));
    written = write(STDERR_FILENO, "\n", 1);
    _exit(1);
}
