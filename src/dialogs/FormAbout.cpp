#include "dialogs/FormAbout.h"

#include "common/ProgramTitle.h"
#include "dialogs/AboutPicture.h"
#include "dialogs/FormPlacement.h"
#include "ui_FormAbout.h"

#include <QCoreApplication>

#ifndef ORVELA_VERSION
#define ORVELA_VERSION "1.0"
#endif

TFormAbout::TFormAbout(QWidget* parent) : QDialog(parent), Ui_(std::make_unique<Ui::TFormAbout>())
{
    Ui_->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    Ui_->imgPicture->setPixmap(AboutPicture(Ui_->imgPicture->size()));
    const QString version = QCoreApplication::applicationVersion();
    Ui_->lbVersion->setText(QStringLiteral("Версия ") + (version.isEmpty() ? QStringLiteral(ORVELA_VERSION) : version));
    setFixedSize(size());
}

TFormAbout::~TFormAbout() = default;

void TFormAbout::showEvent(QShowEvent* event)
{
    const QString title = ProgramTitle();
    Ui_->lbTitle->setText(title);
    Ui_->lbTitleShadow->setText(title);
    QDialog::showEvent(event);
    CentreOnScreen(this);
}
