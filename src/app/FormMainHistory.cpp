#include "app/FormMain.h"

#include "app/CurrentInputPanel.h"
#include "trends/FormTrends.h"

#include "ui_FormMain.h"

#include <QAction>

void TFormMain::SetupHistoryMenu()
{
    // Not one of the window's act* actions: those are the controller's commands and settings,
    // enabled by the port and the polling; the history can be looked at at any time.
    auto* trends = new QAction(QStringLiteral("Графики"), Ui_->mmHistory);
    trends->setObjectName(QStringLiteral("miTrends"));
    trends->setToolTip(QStringLiteral("Графики температур входа"));
    trends->setStatusTip(trends->toolTip());
    Ui_->mmHistory->addAction(trends);
    connect(trends, &QAction::triggered, this, [this] { OpenTrends(); });
    BindButton(Ui_->btCh_Trends, trends);
}

void TFormMain::OpenTrends()
{
    const int n = CurrentInput_->Selected();
    // A window of its own, beside the main window and closed with it.
    auto* form = new TFormTrends(n > 0 ? n : 1, this);
    form->setObjectName(QStringLiteral("FormTrends"));
    form->setAttribute(Qt::WA_DeleteOnClose);
    form->show();
}
