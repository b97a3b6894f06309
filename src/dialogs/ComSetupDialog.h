#pragma once

#include <QDialog>

#include <array>
#include <memory>

class TComComboBox;
class TCustomComPort;
namespace Ui {
class TComSetupFrm;
}

// The port setup dialog: six lists (port, baud rate, data bits, stop bits, parity, flow control),
// OK and Cancel. Its captions come from the catalogue of domain "cport"; the list items are
// setting texts and stay as they are.
class TComSetupFrm : public QDialog
{
    Q_OBJECT

public:
    // Reads the port list; a list that cannot be read raises EComPort number 23.
    explicit TComSetupFrm(QWidget* parent = nullptr);
    ~TComSetupFrm() override;

    // Combo1 to Combo6, in tab order.
    std::array<TComComboBox*, 6> Combos() const;

private:
    void FormCreate();
    void WidenForCaptions();

    std::unique_ptr<Ui::TComSetupFrm> Ui_;
};

// Shows the dialog on a port; OK writes the six choices into it at once (between SuspendApply and
// ResumeApply), anything else leaves it untouched. Raises EComPort when the port list cannot be
// read (nothing is shown then) or when an open port refuses a setting.
void RunPortSetupDialog(TCustomComPort& port);

// Makes the ports' ShowSetup run this dialog; the application calls it once at start.
void InstallPortSetupDialog();
