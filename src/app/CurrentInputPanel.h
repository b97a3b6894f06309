#pragma once

#include "device/InputWrite.h"
#include "values/IOData.h"

#include <QObject>

#include <functional>
#include <memory>
#include <optional>

namespace Ui {
class FormMain;
}

class QWidget;
class TWriteFields;

// The selected input in detail, with the fields to write its settings: the current-input box with
// its small grid of the six sensors, and the write box. The write fields keep what the operator
// typed while "Зафиксировать" is set, so that one input's settings go to input after input.
class TCurrentInputPanel : public QObject
{
public:
    // rising: the sensors of an input that are rising (bit i - 1 for sensor i).
    TCurrentInputPanel(Ui::FormMain& ui, QWidget* form, std::function<unsigned(int input)> rising);
    ~TCurrentInputPanel() override;

    // The input shown: 0 until the window is shown, then 1..192. Its change fills the panel.
    TiodIntegerToInteger* SelectedInput() const { return SelectedInput_.get(); }
    int Selected() const;
    void Select(int n);
    // Column 0 of the sensors' grid: 6 at the top down to 1.
    void NumberRows();
    void Refresh();
    // Input n's rise changed: the sensors' grid is drawn again when it shows n.
    void RiseChanged(int n);
    // The settings "Записать" sends, as TWriteFields gives them.
    std::optional<TInputSettings> Settings();
    // The window closes: the selection is let go.
    void Close();

private:
    void SetupSensorsGrid();
    void EnabledClick();
    void FixClick();
    void LoadWriteFields();

    Ui::FormMain& Ui_;
    QWidget* Form_;
    std::function<unsigned(int input)> Rising_;
    std::unique_ptr<TiodIntegerToInteger> SelectedInput_;
    std::unique_ptr<TWriteFields> WriteFields_;
};
