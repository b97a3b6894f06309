#include "app/FormMain.h"

#include "app/InputsGrid.h"
#include "app/StatusPanels.h"

#include <QAction>
#include <QStatusTipEvent>

void TFormMain::SetupAlarms()
{
    // Not one of the act* actions: it is enabled always, whatever the port and the polling.
    auto* next = new QAction(QStringLiteral("Следующая тревога"), this);
    next->setObjectName(QStringLiteral("miNextAlarm"));
    next->setShortcut(QKeySequence(Qt::Key_F3));
    next->setToolTip(QStringLiteral("Следующий вход с тревогой (F3)"));
    next->setStatusTip(next->toolTip());
    addAction(next);
    connect(next, &QAction::triggered, this, [this] { InputsGrid_->SelectNextAlarm(); });
    StatusPanels_->AddNextAlarmButton(next);
    ShowAlarms();
}

void TFormMain::ShowAlarms()
{
    StatusPanels_->ShowAlarms(InputsGrid_->CountAlarms());
}

bool TFormMain::event(QEvent* event)
{
    // The toolkit would show a hint over the status panels, hiding the port's and the poll's state.
    if (event->type() == QEvent::StatusTip) {
        StatusPanels_->ShowHint(static_cast<QStatusTipEvent*>(event)->tip());
        return true;
    }
    return QMainWindow::event(event);
}
