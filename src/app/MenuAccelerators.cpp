#include "app/MenuAccelerators.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QSet>

#include <functional>

namespace {

bool IsRussian(QChar c)
{
    return (c >= QChar(0x0410) && c <= QChar(0x044F)) || c == QChar(0x0401) || c == QChar(0x0451);
}

bool StartsWord(const QString& text, int i)
{
    return i == 0 || !text[i - 1].isLetterOrNumber();
}

// The position of the letter for text, or -1 when every candidate is taken.
int PickLetter(const QString& text, const QSet<QChar>& taken)
{
    const std::function<bool(int)> passes[] = {
        [&](int i) { return IsRussian(text[i]) && StartsWord(text, i); },
        [&](int i) { return IsRussian(text[i]); },
        [&](int i) { return text[i].isLetterOrNumber() && StartsWord(text, i); },
        [&](int i) { return text[i].isLetterOrNumber(); },
    };
    for (const auto& pass : passes)
        for (int i = 0; i < text.size(); ++i)
            if (pass(i) && !taken.contains(text[i].toLower()))
                return i;
    return -1;
}

// What a text shows: a single '&' marks the next letter, "&&" shows one '&'.
QString Shown(const QString& text)
{
    QString shown;
    for (int i = 0; i < text.size(); ++i) {
        if (text[i] == u'&' && i + 1 < text.size())
            ++i;
        shown += text[i];
    }
    return shown;
}

QString Escaped(const QString& shown)
{
    return QString(shown).replace(u'&', QStringLiteral("&&"));
}

const char* const kLetterProperty = "acceleratorLetter";

// The letter a text marks, or none.
QChar MarkedLetter(const QString& text)
{
    for (int i = 0; i + 1 < text.size(); ++i)
        if (text[i] == u'&') {
            if (text[i + 1] != u'&')
                return text[i + 1].toLower();
            ++i;
        }
    return {};
}

}  // namespace

QStringList WithAccelerators(const QStringList& texts)
{
    QSet<QChar> taken;
    QStringList result;
    for (const QString& text : texts) {
        const QString shown = Shown(text);
        const int i = PickLetter(shown, taken);
        if (i < 0) {
            result << Escaped(shown);
            continue;
        }
        taken.insert(shown[i].toLower());
        result << Escaped(shown.left(i)) + u'&' + Escaped(shown.mid(i));
    }
    return result;
}

namespace {

void Assign(const QList<QAction*>& actions, const std::function<void(QAction*, const QString&)>& set,
            const std::function<QString(QAction*)>& get)
{
    QList<QAction*> items;
    QStringList texts;
    for (QAction* action : actions)
        if (!action->isSeparator() && !get(action).isEmpty())
            items << action, texts << get(action);
    const QStringList marked = WithAccelerators(texts);
    for (int i = 0; i < items.size(); ++i) {
        items[i]->setProperty(kLetterProperty, MarkedLetter(marked[i]));
        set(items[i], marked[i]);
    }
}

}  // namespace

void AssignAccelerators(QMenuBar* bar)
{
    Assign(
        bar->actions(), [](QAction* action, const QString& text) { action->menu()->setTitle(text); },
        [](QAction* action) { return action->menu() ? action->menu()->title() : QString(); });
    for (QAction* menuAction : bar->actions())
        if (QMenu* menu = menuAction->menu())
            Assign(
                menu->actions(), [](QAction* action, const QString& text) { action->setText(text); },
                [](QAction* action) { return action->text(); });
}

void SetTextKeepingAccelerator(QAction* action, const QString& text)
{
    const QChar letter = action->property(kLetterProperty).toChar();
    const QString shown = Shown(text);
    const int i = letter.isNull() ? -1 : shown.indexOf(letter, 0, Qt::CaseInsensitive);
    action->setText(i < 0 ? Escaped(shown) : Escaped(shown.left(i)) + u'&' + Escaped(shown.mid(i)));
}
