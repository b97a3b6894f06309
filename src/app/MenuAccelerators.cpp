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

// shown with its letter at i marked; none for i < 0.
QString Marked(const QString& shown, int i)
{
    return i < 0 ? Escaped(shown) : Escaped(shown.left(i)) + u'&' + Escaped(shown.mid(i));
}

// Each item a letter of its own among its neighbours.
void Assign(const QList<QAction*>& actions, const std::function<void(QAction*, const QString&)>& set,
            const std::function<QString(QAction*)>& get)
{
    QSet<QChar> taken;
    for (QAction* action : actions) {
        if (action->isSeparator() || get(action).isEmpty())
            continue;
        const QString shown = Shown(get(action));
        const int i = PickLetter(shown, taken);
        if (i >= 0) {
            taken.insert(shown[i].toLower());
            action->setProperty(kLetterProperty, shown[i].toLower());
        }
        set(action, Marked(shown, i));
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
    action->setText(Marked(shown, letter.isNull() ? -1 : int(shown.indexOf(letter, 0, Qt::CaseInsensitive))));
}
