#include "transport/EComPort.h"

#include "common/ProgramFolder.h"

#include <QFile>

#include <libintl.h>

namespace {

constexpr char kDomain[] = "default";

QString Translate(const char* text)
{
    if (!*text)
        return {};  // the empty text would look up the catalogue's header
    // Bound on every use: the catalogue folder follows the program folder, and binding is cheap.
    const QByteArray folder = QFile::encodeName(ProgramFolder() + QStringLiteral("locale"));
    bindtextdomain(kDomain, folder.constData());
    bind_textdomain_codeset(kDomain, "UTF-8");
    return QString::fromUtf8(dgettext(kDomain, text));
}

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
    : Number_(number), SystemCode_(systemCode), Message_(Translate(ComFailureText(number)))
{
    if (systemCode != -1)
        Message_ += Translate(" (win error code: %d)").replace(QStringLiteral("%d"), QString::number(systemCode));
    Utf8_ = Message_.toUtf8();
}
