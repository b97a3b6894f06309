#include "dialogs/InputDialogs.h"

#include "dialogs/FormAbout.h"
#include "dialogs/FormInputInteger.h"
#include "dialogs/FormInputModbusParams.h"
#include "dialogs/FormInputSystemAddress.h"

#include <QSpinBox>

#include <memory>

int InputIntegerEx(const QString& caption, const QString& prompt, int value, int min, int max, bool& ok,
                   QWidget* parent)
{
    ok = false;
    try {
        TFormInputInteger form(parent);
        form.setWindowTitle(caption);
        // The range first: a spin box clamps a value to the range it has at that moment.
        form.Value()->setMaximum(max);
        form.Value()->setMinimum(min);
        form.Value()->setValue(value);
        form.SetPrompt(prompt);
        if (form.exec() != QDialog::Accepted)
            return value;
        ok = true;
        return form.Value()->value();
    } catch (...) {
        ok = false;
        return value;
    }
}

int InputInteger(const QString& caption, const QString& prompt, int value, int min, int max, QWidget* parent)
{
    bool ok = false;
    return InputIntegerEx(caption, prompt, value, min, max, ok, parent);
}

int InputSystemAddress(int value, int min, int max, quint16& plantNumber, bool& ok, quint8& currentAddress,
                       QWidget* parent)
{
    ok = false;
    try {
        TFormInputSystemAddress form(parent);
        form.NewAddress()->setMaximum(max);
        form.NewAddress()->setMinimum(min);
        form.NewAddress()->setValue(value);
        form.PlantNumber()->setValue(plantNumber);
        if (form.exec() != QDialog::Accepted)
            return value;
        plantNumber = static_cast<quint16>(form.PlantNumber()->value());
        currentAddress = static_cast<quint8>(form.CurrentAddress()->value());
        ok = true;
        return form.NewAddress()->value();
    } catch (...) {
        ok = false;
        return value;
    }
}

bool InputModbusParams(quint8& baud, quint8& parity, QWidget* parent)
{
    try {
        TFormInputModbusParams form(parent);
        form.Fill(baud, parity);
        if (form.exec() != QDialog::Accepted || form.Baud() < 0 || form.Parity() < 0)
            return false;
        baud = static_cast<quint8>(form.Baud());
        parity = static_cast<quint8>(form.Parity());
        return true;
    } catch (...) {
        return false;
    }
}

int ShowAbout(QWidget* parent)
{
    try {
        TFormAbout form(parent);
        form.exec();
        return 0;
    } catch (...) {
        return -1;
    }
}
