#include "app/ProtocolView.h"

#include "device/Exchange.h"
#include "station/ProtocolTexts.h"

#include "ui_FormMain.h"

#include <QGroupBox>

TProtocolView::TProtocolView(Ui::FormMain& ui) : Ui_(ui)
{
    // A command name of a new length would lay the window out again at every exchange; filling its
    // own background keeps the group box and the window under it from being repainted too. The
    // style draws a group box's inside from an image, so its colour is taken from a drawn one.
    Ui_.lbCommand->setFixedSize(600, Ui_.lbCommand->sizeHint().height());
    QGroupBox sample;
    sample.resize(64, 64);
    QPalette inside = Ui_.lbCommand->palette();
    inside.setColor(QPalette::Window, sample.grab().toImage().pixelColor(32, 48));
    Ui_.lbCommand->setPalette(inside);
    // Flat read-only fields in the button-face colour.
    for (TFrameField* field : {Ui_.eReq, Ui_.eAns}) {
        QPalette face = field->palette();
        face.setColor(QPalette::Base, face.color(QPalette::Button));
        field->setPalette(face);
    }
}

void TProtocolView::Exchange(const QString& command, const QByteArray& request, const QByteArray& answer,
                             bool inCycle)
{
    ++RequestCount_;
    if (!answer.isEmpty())
        ++AnswerCount_;
    LastExchange_ = {command, request, answer};
    if (inCycle) {
        Pending_ = true;
        return;
    }
    ShowLastExchange();
}

void TProtocolView::CycleDone()
{
    if (Pending_)
        ShowLastExchange();
}

void TProtocolView::ShowLastExchange()
{
    Pending_ = false;
    Ui_.lbCommand->setText(LastExchange_.Command);
    Ui_.eReq->setText(FrameText(LastExchange_.Request, LogRadix));
    Ui_.eAns->setText(LastExchange_.Answer.isEmpty() ? QStringLiteral("Нет ответа")
                                                     : FrameText(LastExchange_.Answer, LogRadix));
    ShowStatistics();
}

void TProtocolView::Reset()
{
    RequestCount_ = 0;
    AnswerCount_ = 0;
    Pending_ = false;
    Ui_.eReq->clear();
    Ui_.eAns->clear();
    Ui_.lbCommand->setText(QStringLiteral("_ _"));
    ShowStatistics();
}

void TProtocolView::ShowStatistics()
{
    Ui_.lblReqCount->setText(QString::number(RequestCount_));
    Ui_.lblAnsCount->setText(QString::number(AnswerCount_));
    Ui_.lblReqPercent->setText(PercentText(RequestCount_, RequestCount_));
    Ui_.lblAnsPercent->setText(PercentText(AnswerCount_, RequestCount_));
}
