#include "app/FormMain.h"
#include "app/ProgramStop.h"
#include "app/ToolkitTranslations.h"
#include "common/OperatorMessage.h"
#include "common/ResourceLimits.h"
#include "common/StopSignals.h"
#include "dialogs/ComSetupDialog.h"
#include "station/StationUnits.h"
#include "transport/MessageCatalogue.h"
#include "values/Switches.h"

#include <QApplication>
#include <QMessageBox>
#include <QTextStream>

namespace {

void ShowMessageBox(const QString& caption, const QString& text, TMessageIcon icon)
{
    const QMessageBox::Icon boxIcon = icon == TMessageIcon::Error     ? QMessageBox::Critical
                                      : icon == TMessageIcon::Warning ? QMessageBox::Warning
                                                                      : QMessageBox::Information;
    QMessageBox box(boxIcon, caption, QString(text).replace(u'\r', u'\n'), QMessageBox::Ok);
    box.setTextFormat(Qt::PlainText);  // paths and controller texts are data, never markup
    box.exec();
}

}  // namespace

int main(int argc, char* argv[])
{
    InstallResourceFailureHandler();
    if (const QString shortage = FileDescriptorShortage(); !shortage.isEmpty()) {
        QTextStream(stderr) << shortage << u'\n';
        return 1;
    }
    QApplication app(argc, argv);
    // The port's messages and its setup dialog in the operator's language, and the toolkit's own
    // texts (file dialogs, buttons) too.
    BindMessageLanguage();
    InstallToolkitTranslations();
    InstallPortSetupDialog();
    SetShowMessage(ShowMessageBox);
    ReadSwitches(QApplication::arguments());
    StartStationUnits();
    int result = 0;
    {
        TFormMain form;
        form.setObjectName(QStringLiteral("FormMain"));
        const TPlatformExitGuard exitGuard(form);
        form.show();
        // A session that ends, or a service manager, asks with SIGTERM.
        EndOnStopSignals(form);
        result = QApplication::exec();
    }
    StopStationUnits();
    SetShowMessage(nullptr);
    return result;
}
