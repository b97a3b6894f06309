#include "app/ToolkitTranslations.h"

#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLabel>
#include <QLibraryInfo>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>
#include <QTranslator>

#include <gtest/gtest.h>

namespace {

QString CancelText()
{
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Внимание"), QStringLiteral("?"),
                    QMessageBox::Ok | QMessageBox::Cancel);
    return box.button(QMessageBox::Cancel)->text();
}

}  // namespace

// The tests' application runs under ru_RU.UTF-8, as an operator's desktop does.
TEST(ToolkitTranslations, MessageBoxesAndFileDialogsSpeakRussian)
{
    ASSERT_EQ(QLocale().language(), QLocale::Russian);
    EXPECT_EQ(CancelText(), QStringLiteral("Cancel"));
    QTranslator* translator = InstallToolkitTranslations();
    ASSERT_NE(translator, nullptr) << "no Russian toolkit texts in "
                                   << QLibraryInfo::path(QLibraryInfo::TranslationsPath).toStdString();
    EXPECT_EQ(CancelText(), QStringLiteral("Отмена"));

    // The file dialog as the window's file commands open it.
    QFileDialog dialog;
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    const auto* buttons = dialog.findChild<QDialogButtonBox*>(QStringLiteral("buttonBox"));
    ASSERT_NE(buttons, nullptr);
    EXPECT_EQ(buttons->button(QDialogButtonBox::Save)->text(), QStringLiteral("&Сохранить"));
    EXPECT_EQ(buttons->button(QDialogButtonBox::Cancel)->text(), QStringLiteral("Отмена"));
    const auto* lookIn = dialog.findChild<QLabel*>(QStringLiteral("lookInLabel"));
    ASSERT_NE(lookIn, nullptr);
    EXPECT_EQ(lookIn->text(), QStringLiteral("Перейти к:"));

    QCoreApplication::removeTranslator(translator);
    delete translator;
}
