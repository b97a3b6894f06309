#pragma once

#include <QDialog>

#include <memory>

namespace Ui {
class TFormInputInteger;
}
class QSpinBox;

class TFormInputInteger : public QDialog
{
public:
    explicit TFormInputInteger(QWidget* parent = nullptr);
    ~TFormInputInteger() override;

    QSpinBox* Value() const;
    // Sets the prompt and sizes the form so that it fits beside the field.
    void SetPrompt(const QString& prompt);

protected:
    void showEvent(QShowEvent* event) override;

private:
    std::unique_ptr<Ui::TFormInputInteger> Ui_;
};
