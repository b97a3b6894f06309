#include "dialogs/FormInputSystemAddress.h"

#include "dialogs/FormPlacement.h"
#include "ui_FormInputSystemAddress.h"

TFormInputSystemAddress::TFormInputSystemAddress(QWidget* parent)
    : QDialog(parent), Ui_(std::make_unique<Ui::TFormInputSystemAddress>())
{
    Ui_->setupUi(this);
    setFixedSize(size());
}

TFormInputSystemAddress::~TFormInputSystemAddress() = default;

QSpinBox* TFormInputSystemAddress::PlantNumber() const
{
    return Ui_->eiPlantNumber;
}

QSpinBox* TFormInputSystemAddress::CurrentAddress() const
{
    return Ui_->ieSysAddrCurr;
}

QSpinBox* TFormInputSystemAddress::NewAddress() const
{
    return Ui_->ieSysAddrNew;
}

void TFormInputSystemAddress::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    CentreOnScreen(this);
    Ui_->ieSysAddrNew->setFocus();
    Ui_->ieSysAddrNew->selectAll();
}
