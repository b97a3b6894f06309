#include "app/FormMain.h"
#include "app/ToolkitTranslations.h"
#include "common/OperatorMessage.h"
#include "common/StopSignals.h"
#include "device/ProgramUnits.h"
#include "history/HistoryUnit.h"
#include "publish/PublishUnit.h"
#include "transport/ComSetupDialog.h"
#include "transport/MessageCatalogue.h"
#include "values/Switches.h"

#include <QApplication>
#include <QMessageBox>

namespace {

void ShowMessageBox(const QString& caption, const QString& text, TMessageIcon icon)
{
    const QMessageBox::Icon boxIcon = icon == TMessageIcon::Error     ? QMessageBox::Critical
                                      : icon == TMessageIcon::Warning ? QMessageBox::Warning
                                                                      : QMessageBox::Information;
    QMessageBox box(boxIcon, caption, QString(text).replace(u'\r', u'\n'), QMessageBox::Ok);
    box.exec();
}

}  // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationDisplayName(QStringLiteral("Orvela - Программа настройки"));
    // The port's messages and its setup dialog in the operator's language, and the toolkit's own
    // texts (file dialogs, buttons) too.
    BindMessageLanguage();
    InstallToolkitTranslations();
    InstallPortSetupDialog();
    SetShowMessage(ShowMessageBox);
    ReadSwitches(QApplication::arguments());
    StartUnits();
    HistoryStartup(PublishingEnabled());
    PublishStartup();
    int result = 0;
    {
        TFormMain form;
        form.setObjectName(QStringLiteral("FormMain"));
        form.show();
        // A session that ends, or a service manager, asks with SIGTERM: the program ends as after
        // the operator's exit, leaving any dialog or box open at the time.
        WatchStopSignals(&form, [&form] {
            form.close();
            QApplication::exit(0);
        });
        result = QApplication::exec();
    }
    // The history writes its last batch before the publisher's final pass sends it.
    HistoryShutdown();
    PublishShutdown();
    StopUnits();
    SetShowMessage(nullptr);
    return result;
}
