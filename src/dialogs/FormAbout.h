#pragma once

#include <QDialog>

#include <memory>

namespace Ui {
class TFormAbout;
}

// The about box: the program's title with a drop shadow, our picture, the version.
class TFormAbout : public QDialog
{
public:
    explicit TFormAbout(QWidget* parent = nullptr);
    ~TFormAbout() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    std::unique_ptr<Ui::TFormAbout> Ui_;
};
