#include "dialogs/FormInputModbusParams.h"

#include "device/DisplayTables.h"
#include "dialogs/FormPlacement.h"
#include "ui_FormInputModbusParams.h"

TFormInputModbusParams::TFormInputModbusParams(QWidget* parent)
    : QDialog(parent), Ui_(std::make_unique<Ui::TFormInputModbusParams>())
{
    Ui_->setupUi(this);
    setFixedSize(size());
    connect(Ui_->cbBaudRate, &QComboBox::currentIndexChanged, this, &TFormInputModbusParams::UpdateOK);
    connect(Ui_->cbParity, &QComboBox::currentIndexChanged, this, &TFormInputModbusParams::UpdateOK);
}

TFormInputModbusParams::~TFormInputModbusParams() = default;

void TFormInputModbusParams::Fill(int baud, int parity)
{
    Ui_->cbBaudRate->clear();
    Ui_->cbBaudRate->addItems(BaudTexts());
    Ui_->cbBaudRate->setCurrentIndex(baud < Ui_->cbBaudRate->count() ? baud : -1);
    Ui_->cbParity->clear();
    Ui_->cbParity->addItems(ParityTexts());
    Ui_->cbParity->setCurrentIndex(parity < Ui_->cbParity->count() ? parity : -1);
    UpdateOK();
}

int TFormInputModbusParams::Baud() const
{
    return Ui_->cbBaudRate->currentIndex();
}

int TFormInputModbusParams::Parity() const
{
    return Ui_->cbParity->currentIndex();
}

void TFormInputModbusParams::UpdateOK()
{
    // A code the lists do not hold is never sent back as if chosen.
    Ui_->OKBtn->setEnabled(Baud() >= 0 && Parity() >= 0);
}

void TFormInputModbusParams::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    CentreOnScreen(this);
    Ui_->cbBaudRate->setFocus();
}
