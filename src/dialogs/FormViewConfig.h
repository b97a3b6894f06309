#pragma once

#include "device/VantorCodes.h"

#include <QDialog>
#include <QString>

#include <array>
#include <memory>

namespace Ui {
class TFormViewConfig;
}
struct TConfigRow;

// Shows an inputs configuration file and writes a range of its inputs into the controller.
class TFormViewConfig : public QDialog
{
public:
    explicit TFormViewConfig(QWidget* parent = nullptr);
    ~TFormViewConfig() override;

    QString ConfigFileName;

    // Closing while inputs are written ends the loop after the input in progress.
    void done(int result) override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void Fill();
    void ShowRow(const TConfigRow& row);
    void btWriteClick();

    std::unique_ptr<Ui::TFormViewConfig> Ui_;
    // Inputs the file lists: only these are written.
    std::array<bool, vantor::kInputCount> Listed_{};
    bool Filled_ = false;
    bool Unreadable_ = false;  // writing stays off for the life of the form
    bool Closing_ = false;
};

// Opens the view on fileName, modally: 0, or -1 when an error escaped from the form.
int ShowConfigView(const QString& fileName, QWidget* parent = nullptr);
