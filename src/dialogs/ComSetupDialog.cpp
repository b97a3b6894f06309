#include "dialogs/ComSetupDialog.h"

#include "dialogs/ComCombo.h"
#include "transport/ComPort.h"
#include "transport/MessageCatalogue.h"
#include "ui_ComSetupDialog.h"

#include <QAbstractButton>
#include <QGroupBox>
#include <QLabel>
#include <QPointer>
#include <QPushButton>

#include <algorithm>

namespace {

constexpr char kDomain[] = "cport";

}  // namespace

TComSetupFrm::TComSetupFrm(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint), Ui_(std::make_unique<Ui::TComSetupFrm>())
{
    Ui_->setupUi(this);
    FormCreate();
}

TComSetupFrm::~TComSetupFrm() = default;

std::array<TComComboBox*, 6> TComSetupFrm::Combos() const
{
    return {Ui_->Combo1, Ui_->Combo2, Ui_->Combo3, Ui_->Combo4, Ui_->Combo5, Ui_->Combo6};
}

void TComSetupFrm::FormCreate()
{
    // The form was laid out for an 8-point sans of 11 pixels; the system's sans stands in.
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(11);
    setFont(font);
    setFixedSize(size());

    // Captions only: the lists' items are the settings' own texts, which the port parses back.
    const auto translate = [](const QString& text) { return Translate(kDomain, text.toUtf8().constData()); };
    setWindowTitle(translate(windowTitle()));
    for (QGroupBox* box : findChildren<QGroupBox*>())
        box->setTitle(translate(box->title()));
    for (QLabel* label : findChildren<QLabel*>())
        label->setText(translate(label->text()));
    for (QAbstractButton* button : findChildren<QAbstractButton*>())
        button->setText(translate(button->text()));
    WidenForCaptions();
}

void TComSetupFrm::WidenForCaptions()
{
    // Translated captions may not fit the column drawn for the English ones: the lists, the
    // buttons and the form move right by what the widest caption lacks.
    const QList<QLabel*> labels = Ui_->GroupBox1->findChildren<QLabel*>();
    int lack = 0;
    for (const QLabel* label : labels)
        lack = std::max(lack, label->sizeHint().width() - label->width());
    if (lack <= 0)
        return;
    for (QLabel* label : labels)
        label->resize(label->width() + lack, label->height());
    for (TComComboBox* combo : Combos())
        combo->move(combo->x() + lack, combo->y());
    Ui_->GroupBox1->resize(Ui_->GroupBox1->width() + lack, Ui_->GroupBox1->height());
    for (QPushButton* button : {Ui_->Button1, Ui_->Button2})
        button->move(button->x() + lack, button->y());
    setFixedSize(width() + lack, height());
}

void RunPortSetupDialog(TCustomComPort& port)
{
    TComSetupFrm form;
    const std::array combos = form.Combos();
    for (TComComboBox* combo : combos)
        combo->SetComPort(&port);  // shows the port's value
    const QPointer<TCustomComPort> alive(&port);
    if (form.exec() != QDialog::Accepted || !alive)
        return;
    port.SuspendApply();
    try {
        for (TComComboBox* combo : combos)
            combo->ComSelect().ApplyToPort();
    } catch (...) {
        port.ResumeApply();
        throw;
    }
    port.ResumeApply();
}

void InstallPortSetupDialog()
{
    SetRunPortSetupDialog(RunPortSetupDialog);
}
