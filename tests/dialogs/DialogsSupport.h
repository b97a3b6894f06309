#pragma once

#include <QApplication>
#include <QLocale>
#include <QTimer>
#include <QWidget>

#include <csignal>
#include <functional>
#include <ostream>

#include <sys/resource.h>

// Readable QString values in failure messages.
inline void PrintTo(const QString& text, std::ostream* out)
{
    *out << '"' << text.toStdString() << '"';
}

// Runs action on the next modal window of class className (or with that object name, as our
// forms have) once it is shown (polled every 10 ms),
// so that a test can drive a dialog that the code under test runs with exec().
inline void OnModal(const char* className, std::function<void(QWidget*)> action)
{
    auto* timer = new QTimer;
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, className, action] {
        QWidget* window = QApplication::activeModalWidget();
        if (!window || !window->isVisible() || (!window->inherits(className) && window->objectName() != QLatin1String(className)))
            return;
        timer->stop();
        timer->deleteLater();
        action(window);
    });
    timer->start();
}

// The locale of the files and the grid while it lives: Russian (decimal comma) by default.
class LocaleScope
{
public:
    explicit LocaleScope(const QLocale& locale = QLocale(QLocale::Russian, QLocale::Russia)) { QLocale::setDefault(locale); }
    ~LocaleScope() { QLocale::setDefault(Previous_); }

private:
    QLocale Previous_;
};

// Runs run on a disk that fills up: no file of this process grows beyond bytes, and a write past
// that fails instead of ending the process.
inline void WithFileSizeLimit(rlim_t bytes, const std::function<void()>& run)
{
    struct rlimit before {};
    getrlimit(RLIMIT_FSIZE, &before);
    struct rlimit small = before;
    small.rlim_cur = bytes;
    const auto previous = std::signal(SIGXFSZ, SIG_IGN);
    setrlimit(RLIMIT_FSIZE, &small);
    run();
    setrlimit(RLIMIT_FSIZE, &before);
    std::signal(SIGXFSZ, previous);
}
