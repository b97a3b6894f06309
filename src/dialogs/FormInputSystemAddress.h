#pragma once

#include <QDialog>

#include <memory>

namespace Ui {
class TFormInputSystemAddress;
}
class QSpinBox;

class TFormInputSystemAddress : public QDialog
{
public:
    explicit TFormInputSystemAddress(QWidget* parent = nullptr);
    ~TFormInputSystemAddress() override;

    QSpinBox* PlantNumber() const;
    QSpinBox* CurrentAddress() const;
    QSpinBox* NewAddress() const;

protected:
    void showEvent(QShowEvent* event) override;

private:
    std::unique_ptr<Ui::TFormInputSystemAddress> Ui_;
};
