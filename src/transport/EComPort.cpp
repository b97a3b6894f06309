#include "transport/EComPort.h"

#include "transport/MessageCatalogue.h"

namespace {

constexpr char kDomain[] = "default";

}  // namespace

const char* ComFailureText(TComFailure number)
{
    switch (number) {
    case ecOpen: return "Unable to open com port";
    case ecWrite: return "WriteFile function failed";
    case ecRead: return "ReadFile function failed";
    case ecAsyncParameter: return "Invalid Async parameter";
    case ecPurge: return "PurgeComm function failed";
    case ecLineSettings: return "SetCommState function failed";
    case ecTimeouts: return "SetCommTimeouts failed";
    case ecBufferSizes: return "SetupComm function failed";
    case ecLineStatus: return "ClearCommError function failed";
    case ecModemStatus: return "GetCommModemStatus function failed";
    case ecConnectedProperty: return "Cannot set property while connected";
    case ecLoadSettings: return "Failed to load settings";
    case ecRegistry: return "Registry error";
    }
    return "";
}

EComPort::EComPort(TComFailure number, int systemCode)
    : Number_(number), SystemCode_(systemCode), Message_(Translate(kDomain, ComFailureText(number)))
{
    if (systemCode != -1)
        Message_ += Translate(kDomain, " (win error code: %d)").replace(QStringLiteral("%d"), QString::number(systemCode));
    Utf8_ = Message_.toUtf8();
}
