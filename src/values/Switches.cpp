#include "values/Switches.h"

#include "common/OperatorMessage.h"

std::atomic<bool> FullMode{false};

void ReadSwitches(const QStringList& arguments)
{
    for (const QString& argument : arguments) {
        if (argument == QStringLiteral("/design"))
            QuietErrors = false;
        else if (argument == QStringLiteral("/full"))
            FullMode = true;
    }
}
