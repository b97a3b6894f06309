#pragma once

#include <QByteArray>
#include <QString>

namespace Ui {
class FormMain;
}

// The protocol area: the command, request and answer of the last exchange on the line, and the
// exchange statistics.
class TProtocolView
{
public:
    explicit TProtocolView(Ui::FormMain& ui);

    qint32 RequestCount() const { return RequestCount_; }
    qint32 AnswerCount() const { return AnswerCount_; }

    // An exchange was parsed. A cycle's exchanges follow one another faster than anyone reads
    // them, and drawing the long frame texts costs the UI thread more than the rest of the cycle:
    // while a cycle runs (inCycle), its last exchange is shown when it ends.
    void Exchange(const QString& command, const QByteArray& request, const QByteArray& answer, bool inCycle);
    // The cycle ended: its last exchange, when one waits to be shown.
    void CycleDone();
    void Reset();
    void ShowStatistics();

private:
    void ShowLastExchange();

    Ui::FormMain& Ui_;
    qint32 RequestCount_ = 0;
    qint32 AnswerCount_ = 0;
    struct TExchange
    {
        QString Command;
        QByteArray Request;
        QByteArray Answer;
    };
    TExchange LastExchange_;
    bool Pending_ = false;
};
