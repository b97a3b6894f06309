#include "app/LogTroubleView.h"

#include <QLabel>
#include <QStatusBar>

TLogTroubleView::TLogTroubleView(QStatusBar* bar) : Panel_(new QLabel(bar))
{
    Panel_->setObjectName(QStringLiteral("StatusLogs"));
    Panel_->setTextFormat(Qt::PlainText);
    Panel_->setFrameShape(QFrame::Panel);
    Panel_->setFrameShadow(QFrame::Sunken);
    Panel_->hide();
    bar->addPermanentWidget(Panel_);
    SetLogTroubleHandler([this](TLogKind log, const QString& text) {
        Calls_.Post([this, log, text] { Show(log, text); });
    });
}

TLogTroubleView::~TLogTroubleView()
{
    SetLogTroubleHandler(nullptr);
}

void TLogTroubleView::Show(TLogKind log, const QString& text)
{
    Texts_[log == TLogKind::Event ? 0 : 1] = text;
    QString shown = Texts_[0];
    if (!Texts_[1].isEmpty())
        shown += (shown.isEmpty() ? QString() : QStringLiteral("; ")) + Texts_[1];
    Panel_->setText(shown);
    Panel_->setToolTip(shown);
    Panel_->setVisible(!shown.isEmpty());
}
