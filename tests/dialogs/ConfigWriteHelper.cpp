// The configuration view in a process of its own, ended by the stop signals as the program is:
// it opens the file given, presses "Записать в прибор" at once and prints the operator's messages.
#include "common/OperatorMessage.h"
#include "common/StopSignals.h"
#include "device/Exchange.h"
#include "device/ProgramUnits.h"
#include "dialogs/FormViewConfig.h"
#include "transport/Transmitter.h"
#include "transport/TransmitterUnit.h"

#include "DialogsSupport.h"

#include <QPushButton>

#include <cstdio>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    if (argc != 2)
        return 2;
    const QString file = QString::fromLocal8Bit(argv[1]);
    SetShowMessage([](const QString& caption, const QString& text, TMessageIcon) {
        std::printf("%s: %s\n", qPrintable(caption), qPrintable(text));
        std::fflush(stdout);
    });
    StartUnits();
    if (!Transmitter() || !Transmitter()->ActivatePort()) {
        StopUnits();
        return 1;
    }
    LogRadix = 10;
    WatchStopSignals(&app, [] { QApplication::exit(0); });
    OnModal("TFormViewConfig", [](QWidget* view) { view->findChild<QPushButton*>("btWrite")->click(); });
    QTimer::singleShot(0, &app, [&file] {
        ShowConfigView(file);
        QApplication::quit();
    });
    const int result = QApplication::exec();
    StopUnits();
    return result;
}
