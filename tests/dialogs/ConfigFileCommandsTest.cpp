#include "files/DatedFileName.h"
#include "device/ProgramUnits.h"
#include "device/Vantor.h"
#include "device/VantorUnit.h"
#include "dialogs/ConfigFileCommands.h"

#include "DialogsSupport.h"
#include "MessageRecorder.h"
#include "TestFolder.h"

#include <QAbstractButton>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QTest>

#include <gtest/gtest.h>

namespace {

struct Offered
{
    QStringList Filters;
    QString Folder;
    QString Suffix;
    QString Name;
    bool Save = false;
};

// Records what the file dialog offers, then picks name (relative to its folder) or cancels.
void AnswerFileDialog(Offered& offered, const QString& name)
{
    OnModal("QFileDialog", [&offered, name](QWidget* w) {
        auto* dialog = static_cast<QFileDialog*>(w);
        offered.Filters = dialog->nameFilters();
        offered.Folder = dialog->directory().absolutePath();
        offered.Suffix = dialog->defaultSuffix();
        offered.Save = dialog->acceptMode() == QFileDialog::AcceptSave;
        if (auto* edit = dialog->findChild<QLineEdit*>("fileNameEdit"))
            offered.Name = edit->text();
        if (name.isEmpty()) {
            dialog->reject();
            return;
        }
        dialog->findChild<QLineEdit*>("fileNameEdit")->setText(name);
        QMetaObject::invokeMethod(dialog, "accept");
    });
}

class ConfigFileCommands : public ::testing::Test
{
protected:
    void SetUp() override
    {
        StartUnits();
        Vantor()->PlantNumber = 42;
        Vantor()->Input(7).PlantNumber = 1234;
        Vantor()->Input(7).TemperBound.SetValue(25.5);
        Vantor()->Input(7).Interval = 60;
        Vantor()->Input(7).ChannelEnabled.SetValue(tsTrue);
    }
    void TearDown() override { StopUnits(); }

    TestFolder Folder;
    LocaleScope Russian;
    MessageRecorder Messages;
};

}  // namespace

TEST_F(ConfigFileCommands, SaveProposesTheDatedNameInDataAndWritesTheFile)
{
    Offered offered;
    const QString proposed = DatedFileName(42, QDate::currentDate());
    AnswerFileDialog(offered, proposed);
    SaveInputsConfig();
    EXPECT_TRUE(offered.Save);
    EXPECT_EQ(offered.Filters, QStringList{"Конфигурация Vantor (*.txt)"});
    EXPECT_EQ(offered.Folder + u'/', Folder.Path("DATA/"));
    EXPECT_EQ(offered.Suffix, "txt");
    EXPECT_EQ(offered.Name, proposed);
    const QByteArray saved = Folder.Read("DATA/" + proposed + ".txt");
    EXPECT_EQ(saved.count("\r\n"), 192);
    EXPECT_TRUE(saved.contains("\r\n7    PNum:1234  Bound:25,500  Period:60  Enabled:1\r\n"));
    EXPECT_TRUE(Messages.Messages.isEmpty());

    // Cancel writes nothing.
    AnswerFileDialog(offered, {});
    SaveInputsConfig();
    EXPECT_EQ(QDir(Folder.Path("DATA")).entryList(QDir::Files).size(), 1);
}

TEST_F(ConfigFileCommands, ASaveThatCannotBeDoneSaysSo)
{
    Folder.Write("DATA", "a file where the folder should be");
    SaveInputsConfig();
    ASSERT_EQ(Messages.Messages.size(), 1);
    EXPECT_TRUE(Messages.Messages[0].startsWith("Ошибка|Не удалось создать папку ")) << Messages.Messages[0].toStdString();
    EXPECT_EQ(Folder.Read("DATA"), "a file where the folder should be");
    QFile::remove(Folder.Path("DATA"));

    // The disk fills up while the file is written: no half file is left behind.
    Offered offered;
    AnswerFileDialog(offered, "new.txt");
    WithFileSizeLimit(2048, [] { SaveInputsConfig(); });
    ASSERT_EQ(Messages.Messages.size(), 2);
    EXPECT_TRUE(Messages.Messages[1].startsWith("Ошибка|Файл " + Folder.Path("DATA/new.txt") + " не сохранен: "))
        << Messages.Messages[1].toStdString();
    EXPECT_TRUE(QDir(Folder.Path("DATA")).entryList(QDir::Files | QDir::Hidden).isEmpty());
}

TEST_F(ConfigFileCommands, OpenShowsTheChosenFileInTheView)
{
    Folder.Write("DATA/cfg.txt", "7    PNum:1234  Bound:25,500  Period:60  Enabled:1\r\n");
    Offered offered;
    AnswerFileDialog(offered, "cfg.txt");
    QString caption;
    OnModal("TFormViewConfig", [&caption](QWidget* w) {
        caption = w->windowTitle();
        QTest::keyClick(w, Qt::Key_Escape);
    });
    OpenInputsConfig();
    EXPECT_FALSE(offered.Save);
    EXPECT_EQ(offered.Filters, QStringList{"Конфигурация Vantor (*.txt)"});
    EXPECT_EQ(offered.Folder + u'/', Folder.Path("DATA/"));
    EXPECT_EQ(caption, "cfg.txt");
    EXPECT_TRUE(Messages.Messages.isEmpty());
}

TEST_F(ConfigFileCommands, ThePassportQuestionIsAWarningBoxWithOkAndCancel)
{
    Folder.Write("ORVELA/" + DatedFileName(42, QDate::currentDate()) + ".ini", "[OTHER]\r\nKey=1\r\n");
    QString text;
    OnModal("QMessageBox", [&text](QWidget* w) {
        auto* box = static_cast<QMessageBox*>(w);
        text = box->windowTitle() + u'|' + box->text() + u'|' + QString::number(box->icon());
        box->button(QMessageBox::Cancel)->click();
    });
    SavePassportAsking(*Vantor());
    EXPECT_TRUE(text.startsWith("Сохранить как|" + Folder.Path("ORVELA/")));
    EXPECT_TRUE(text.endsWith(" уже существует.\nЗаменить?|2"));
    EXPECT_EQ(Folder.Read("ORVELA/" + DatedFileName(42, QDate::currentDate()) + ".ini"), "[OTHER]\r\nKey=1\r\n");
}
