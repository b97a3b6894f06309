#include "dialogs/FormInputInteger.h"

#include "dialogs/FormPlacement.h"
#include "ui_FormInputInteger.h"

TFormInputInteger::TFormInputInteger(QWidget* parent) : QDialog(parent), Ui_(std::make_unique<Ui::TFormInputInteger>())
{
    Ui_->setupUi(this);
    setFixedSize(size());
}

TFormInputInteger::~TFormInputInteger() = default;

QSpinBox* TFormInputInteger::Value() const
{
    return Ui_->eiValue;
}

void TFormInputInteger::SetPrompt(const QString& prompt)
{
    QLabel* label = Ui_->lblCaption;
    QSpinBox* field = Ui_->eiValue;
    label->setText(prompt);
    label->adjustSize();

    // The buttons keep their distance from the bottom right corner.
    const int right = width() - Ui_->CancelBtn->geometry().right();
    const int bottom = height() - Ui_->CancelBtn->geometry().bottom();
    const int gap = Ui_->CancelBtn->x() - Ui_->OKBtn->geometry().right();

    const int a = label->width() + field->width() + 15;
    const int b = Ui_->OKBtn->width() + Ui_->CancelBtn->width() + 15;
    // The client width: the window's frame adds its own border around it.
    const int w = std::max(a, b);
    label->move(5, label->y());
    field->move(b < a ? label->width() + 10 : w - field->width() - 5, field->y());
    int h = height();
    const int d = label->geometry().bottom() - field->geometry().bottom();
    if (d > 0)
        h += d;
    setFixedSize(w, h);

    Ui_->CancelBtn->move(w - right - Ui_->CancelBtn->width() + 1, h - bottom - Ui_->CancelBtn->height() + 1);
    Ui_->OKBtn->move(Ui_->CancelBtn->x() - gap - Ui_->OKBtn->width() + 1, Ui_->CancelBtn->y());
}

void TFormInputInteger::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    CentreOnScreen(this);
    Ui_->eiValue->setFocus();
    Ui_->eiValue->selectAll();
}
