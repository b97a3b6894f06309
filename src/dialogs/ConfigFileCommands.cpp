#include "dialogs/ConfigFileCommands.h"

#include "files/DatedFileName.h"
#include "files/InputsConfigFile.h"
#include "files/Passport.h"
#include "common/OperatorMessage.h"
#include "device/VantorUnit.h"
#include "device/Vantor.h"
#include "dialogs/FormViewConfig.h"

#include <QDate>
#include <QDir>
#include <QFileDialog>
#include <QMessageBox>

namespace {

const QString kFilter = QStringLiteral("Конфигурация Vantor (*.txt)");

// Qt's own dialog, the same on every platform and drivable in tests.
QString AskFileName(QWidget* parent, QFileDialog::AcceptMode mode, const QString& proposed)
{
    QFileDialog dialog(parent);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(mode);
    dialog.setFileMode(mode == QFileDialog::AcceptSave ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    dialog.setNameFilter(kFilter);
    dialog.setDirectory(InputsConfigFolder());
    dialog.setDefaultSuffix(QStringLiteral("txt"));
    if (!proposed.isEmpty())
        dialog.selectFile(proposed);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().constFirst();
}

}  // namespace

void SaveInputsConfig(QWidget* parent)
{
    const TVantor* vantor = Vantor();
    if (!vantor)
        return;
    if (!QDir().mkpath(InputsConfigFolder())) {
        ShowMessage(kCaptionError, QStringLiteral("Не удалось создать папку ") + InputsConfigFolder(), TMessageIcon::Error);
        return;
    }
    const QString path =
        AskFileName(parent, QFileDialog::AcceptSave, DatedFileName(vantor->PlantNumber, QDate::currentDate()));
    if (path.isEmpty())
        return;
    QString error;
    if (!SaveInputsConfigFile(path, *vantor, error))
        ShowMessage(kCaptionError, QStringLiteral("Файл ") + path + QStringLiteral(" не сохранен: ") + error,
                    TMessageIcon::Error);
}

void OpenInputsConfig(QWidget* parent)
{
    if (!QDir().mkpath(InputsConfigFolder())) {
        ShowMessage(kCaptionError, QStringLiteral("Не удалось создать папку ") + InputsConfigFolder(), TMessageIcon::Error);
        return;
    }
    const QString path = AskFileName(parent, QFileDialog::AcceptOpen, {});
    if (!path.isEmpty())
        ShowConfigView(path, parent);
}

void SavePassportAsking(const TVantor& vantor, QWidget* parent)
{
    SavePassport(vantor, [parent](const QString& caption, const QString& text) {
        return ConfirmBox(caption, text, parent);
    });
}

bool ConfirmBox(const QString& caption, const QString& text, QWidget* parent)
{
    QString shown = text;
    shown.replace(u'\r', u'\n');
    QMessageBox box(QMessageBox::Warning, caption, shown, QMessageBox::Ok | QMessageBox::Cancel, parent);
    box.setTextFormat(Qt::PlainText);
    return box.exec() == QMessageBox::Ok;
}
