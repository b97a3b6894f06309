#include "dialogs/FormViewConfig.h"

#include "files/InputsConfigFile.h"
#include "common/OperatorMessage.h"
#include "device/CommandTable.h"
#include "device/Exchange.h"
#include "device/InputWrite.h"
#include "dialogs/FormPlacement.h"
#include "dialogs/InputSettingsTable.h"
#include "ui_FormViewConfig.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QLocale>

namespace {

void SetCell(QTableWidget* grid, int row, int column, const QString& text)
{
    auto* item = new QTableWidgetItem(text);
    // The number column is fixed: drawn like a header.
    if (column == 0)
        item->setBackground(grid->palette().button());
    grid->setItem(row, column, item);
}

}  // namespace

TFormViewConfig::TFormViewConfig(QWidget* parent) : QDialog(parent), Ui_(std::make_unique<Ui::TFormViewConfig>())
{
    Ui_->setupUi(this);
    const int widths[] = {30, 70, 70, 70, 70};
    for (int c = 0; c < 5; ++c)
        Ui_->asgChannels->setColumnWidth(c, widths[c]);
    connect(Ui_->btWrite, &QPushButton::clicked, this, &TFormViewConfig::btWriteClick);
}

TFormViewConfig::~TFormViewConfig() = default;

void TFormViewConfig::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (Filled_)
        return;
    Filled_ = true;
    CentreOnScreen(this);
    Fill();
}

void TFormViewConfig::Fill()
{
    TConfigRead read;
    QString error;
    if (!ReadInputsConfigFile(ConfigFileName, read, error)) {
        Unreadable_ = true;
        Ui_->btWrite->setEnabled(false);
        ShowMessage(kCaptionError, error, TMessageIcon::Error);
        return;
    }
    TInputSettingsTable& table = InputSettingsTable();
    for (const TConfigRow& row : read.Rows) {
        TInputSettings& entry = table[row.Input - 1];
        const TInputSettings& parsed = row.Settings;
        // Stored field by field: a faulty line keeps what came before its bad field.
        if (row.Fields >= 2)
            entry.PNum = parsed.PNum;
        if (row.Fields >= 3)
            entry.Bound = parsed.Bound;
        if (row.Fields >= 4)
            entry.Period = parsed.Period;
        if (row.Fields >= 5)
            entry.Enabled = parsed.Enabled;
        Listed_[row.Input - 1] = row.Fields == 5;
        ShowRow(row);
    }
    if (read.ErrorLine > 0) {
        Unreadable_ = true;
        Ui_->btWrite->setEnabled(false);
        ShowMessage(kCaptionError, QStringLiteral("Неверный формат данных"), TMessageIcon::Error);
    }
}

void TFormViewConfig::ShowRow(const TConfigRow& row)
{
    QTableWidget* grid = Ui_->asgChannels;
    const int r = row.Input - 1;
    QLocale locale;
    locale.setNumberOptions(QLocale::OmitGroupSeparator);
    SetCell(grid, r, 0, QString::number(row.Input));
    if (row.Fields >= 2)
        SetCell(grid, r, 1, QString::number(row.Settings.PNum));
    if (row.Fields >= 3)
        SetCell(grid, r, 2, locale.toString(row.Settings.Bound, 'g', QLocale::FloatingPointShortest));
    if (row.Fields >= 4)
        SetCell(grid, r, 3, QString::number(row.Settings.Period));
    if (row.Fields >= 5)
        SetCell(grid, r, 4, row.Settings.Enabled ? QStringLiteral("Да") : QStringLiteral("Нет"));
}

void TFormViewConfig::done(int result)
{
    Closing_ = true;
    QDialog::done(result);
}

void TFormViewConfig::btWriteClick()
{
    if (Unreadable_)
        return;
    if (AddressRefuses(cmdWriteInput)) {
        ShowMessage(kCaptionError, AddressUnsetText(), TMessageIcon::Error);
        return;
    }
    Ui_->btWrite->setEnabled(false);
    const int first = Ui_->eiStart->value();
    const int last = Ui_->eiStop->value();
    Ui_->pbWrite->setRange(first, last);
    Ui_->pbWrite->setValue(first);

    TInputsWrite write;
    write.First = first;
    write.Last = last;
    // Inputs the file does not list keep their settings in the controller: the table may hold
    // what an earlier file gave, which the operator does not see here.
    write.Settings = [this](int n) -> const TInputSettings* {
        return Listed_[n - 1] ? &InputSettingsTable()[n - 1] : nullptr;
    };
    write.OnWritten = [this](int n, bool) {
        Ui_->pbWrite->setValue(n);
        QCoreApplication::processEvents();
    };
    write.Stopping = [this] { return Closing_; };
    TInputsWriteResult result;
    try {
        result = WriteInputs(write);
    } catch (...) {
        result.Stopped = true;
    }

    Ui_->btWrite->setEnabled(true);
    Ui_->pbWrite->setValue(Ui_->pbWrite->minimum());
    if (!result.Failed.isEmpty())
        ShowMessage(kCaptionError,
                    QStringLiteral("Не удалось записать настройки входов:") + u'\r' + FailureList(result.Failed),
                    TMessageIcon::Error);
    else if (result.Stopped)
        ShowMessage(kCaptionWarning,
                    QStringLiteral("Запись настроек входов прервана после входа ") + QString::number(result.LastWritten),
                    TMessageIcon::Warning);
    else
        ShowMessage(kCaptionWarning, QStringLiteral("Запись настроек входов прошла успешно"), TMessageIcon::Information);
}

int ShowConfigView(const QString& fileName, QWidget* parent)
{
    try {
        TFormViewConfig form(parent);
        form.ConfigFileName = fileName;
        form.setWindowTitle(QFileInfo(fileName).fileName());
        form.exec();
        return 0;
    } catch (...) {
        return -1;
    }
}
