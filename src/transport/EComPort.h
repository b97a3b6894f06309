#pragma once

#include <QByteArray>
#include <QString>

#include <exception>

// What went wrong, numbered as the operator's support staff know the numbers. The gaps belong to
// operations this program does not have.
enum TComFailure : int {
    ecOpen = 1,
    ecWrite = 2,
    ecRead = 3,
    ecAsyncParameter = 4,
    ecPurge = 5,
    ecLineSettings = 7,
    ecTimeouts = 8,
    ecBufferSizes = 9,
    ecLineStatus = 10,
    ecModemStatus = 11,
    ecConnectedProperty = 14,
    ecLoadSettings = 17,
    ecRegistry = 23,
};

// The port's one exception. Its message comes from the message catalogue (domain "default", folder
// "locale" in the program folder); with a system code the catalogue's " (win error code: %d)" is
// appended, carrying errno.
class EComPort : public std::exception
{
public:
    explicit EComPort(TComFailure number, int systemCode = -1);

    TComFailure ErrorNumber() const { return Number_; }
    // errno, or -1 when there is none.
    int SystemCode() const { return SystemCode_; }
    const QString& Message() const { return Message_; }
    const char* what() const noexcept override { return Utf8_.constData(); }

private:
    TComFailure Number_;
    int SystemCode_;
    QString Message_;
    QByteArray Utf8_;
};

// The untranslated text of a number; empty for a number without one.
const char* ComFailureText(TComFailure number);
