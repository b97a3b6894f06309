#pragma once

#include <QDialog>

#include <memory>

namespace Ui {
class TFormInputModbusParams;
}
class QComboBox;

class TFormInputModbusParams : public QDialog
{
public:
    explicit TFormInputModbusParams(QWidget* parent = nullptr);
    ~TFormInputModbusParams() override;

    // Fills both lists from the controller's texts and selects the codes given; a code outside
    // its list selects nothing.
    void Fill(int baud, int parity);
    int Baud() const;
    int Parity() const;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void UpdateOK();

    std::unique_ptr<Ui::TFormInputModbusParams> Ui_;
};
