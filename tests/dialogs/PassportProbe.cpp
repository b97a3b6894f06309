// Saves the passport of controller 42 for the day given (yyyy-MM-dd) in the program folder of
// ORVELA_HOME, in a process of its own: for running it as another user. Exit 0 when saved; else 1
// with the operator's message on standard error.
#include "device/Vantor.h"
#include "files/Passport.h"

#include <QCoreApplication>

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    if (argc != 2)
        return 2;
    TVantor vantor;
    vantor.PlantNumber = 42;
    const TPassportResult result = SavePassport(vantor, [](const QString&, const QString&) { return true; },
                                                QDate::fromString(QString::fromLatin1(argv[1]), Qt::ISODate));
    return result == TPassportResult::Saved ? 0 : 1;
}
