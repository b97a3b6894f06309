#include "files/Passport.h"
#include "common/Cp1251.h"
#include "device/Vantor.h"

#include "AsNobody.h"
#include "DialogsSupport.h"
#include "MessageRecorder.h"
#include "TestFolder.h"

#include <QFile>
#include <QProcess>

#include <gtest/gtest.h>

namespace {

const QDate kDay(2026, 12, 6);

void Identify(TVantor& vantor)
{
    vantor.PlantNumber = 42;
    vantor.Manufacturer = QStringLiteral("Завод Стелк");
    vantor.VerSoft = 3;
    vantor.VerHard = 2;
    vantor.Site = QStringLiteral("www.example.ru");
    vantor.Device = QStringLiteral("Vantor");
    vantor.DeviceName = QStringLiteral("Контроллер Vantor-192");
    vantor.DeviceType = 7;
    vantor.CRC = QStringLiteral("1A 2B");
}

// Answers the replace question and remembers it.
struct Questions
{
    bool Answer = true;
    QStringList Asked;
    TConfirm Confirm()
    {
        return [this](const QString& caption, const QString& text) {
            Asked << caption + u'|' + text;
            return Answer;
        };
    }
};

const QByteArray kPassport = "[VANTOR_42]\r\n"
                             "Manufact=\xC7\xE0\xE2\xEE\xE4 \xD1\xF2\xE5\xEB\xEA\r\n"
                             "PlantNumber=42\r\n"
                             "SoftVersion=3\r\n"
                             "HardVersion=2\r\n"
                             "WebSite=www.example.ru\r\n"
                             "Device=Vantor\r\n"
                             "DeviceName=\xCA\xEE\xED\xF2\xF0\xEE\xEB\xEB\xE5\xF0 Vantor-192\r\n"
                             "DeviceTypeSign=7\r\n"
                             "DeviceCRC=1A 2B\r\n";

// The program folder of the test's own, a controller identified, the replace question answered.
class Passport : public ::testing::Test
{
protected:
    Passport() { Identify(Vantor); }

    TPassportResult Save() { return SavePassport(Vantor, Question.Confirm(), kDay); }

    TestFolder Folder;
    const LocaleScope Russian;
    TVantor Vantor;
    Questions Question;
};

}  // namespace

TEST_F(Passport, NineKeysInTheirOrderUnderTheControllersSection)
{
    EXPECT_EQ(Save(), TPassportResult::Saved);
    EXPECT_TRUE(Question.Asked.isEmpty());
    EXPECT_EQ(Folder.Read("ORVELA/PN00042_06_12_2026.ini"), kPassport);
}

TEST_F(Passport, ASecondWriteOnOneDayAsksAndCancelKeepsTheFirst)
{
    ASSERT_EQ(Save(), TPassportResult::Saved);

    Vantor.VerSoft = 4;
    Question.Answer = false;
    EXPECT_EQ(Save(), TPassportResult::Declined);
    ASSERT_EQ(Question.Asked.size(), 1);
    EXPECT_EQ(Question.Asked[0], "Сохранить как|" + Folder.Path("ORVELA/PN00042_06_12_2026.ini") +
                                     " уже существует.\rЗаменить?");
    EXPECT_EQ(Folder.Read("ORVELA/PN00042_06_12_2026.ini"), kPassport);

    Question.Answer = true;
    EXPECT_EQ(Save(), TPassportResult::Saved);
    EXPECT_TRUE(Folder.Read("ORVELA/PN00042_06_12_2026.ini").contains("SoftVersion=4\r\n"));
}

TEST_F(Passport, OtherSectionsOfTheFileSurvive)
{
    const QByteArray before = "; written by hand\r\n[OTHER]\r\nKey=1\r\n[VANTOR_42]\r\nDeviceCRC=FF FF\r\nNote=kept\r\n";
    Folder.Write("ORVELA/PN00042_06_12_2026.ini", before);
    ASSERT_EQ(Save(), TPassportResult::Saved);
    const QByteArray after = Folder.Read("ORVELA/PN00042_06_12_2026.ini");
    EXPECT_TRUE(after.startsWith("; written by hand\r\n[OTHER]\r\nKey=1\r\n[VANTOR_42]\r\nDeviceCRC=1A 2B\r\nNote=kept\r\n"))
        << after.constData();
    EXPECT_TRUE(after.contains("Manufact=") && after.contains("DeviceTypeSign=7\r\n"));
}

TEST_F(Passport, FailuresAreShownAndLoseNothing)
{
    MessageRecorder messages;

    // ORVELA is a file.
    Folder.Write("ORVELA", "not a folder");
    EXPECT_EQ(Save(), TPassportResult::Failed);
    ASSERT_EQ(messages.Messages.size(), 1);
    EXPECT_TRUE(messages.Messages[0].startsWith("Ошибка|Паспорт прибора не сохранен: ")) << messages.Messages[0].toStdString();
    EXPECT_EQ(Folder.Read("ORVELA"), "not a folder");
    QFile::remove(Folder.Path("ORVELA"));

    // The passport's name is taken by a folder.
    QDir().mkpath(Folder.Path("ORVELA/PN00042_06_12_2026.ini"));
    EXPECT_EQ(Save(), TPassportResult::Failed);
    EXPECT_EQ(messages.Messages.size(), 2);
    QDir().rmdir(Folder.Path("ORVELA/PN00042_06_12_2026.ini"));
}

// A passport that cannot be read is not rewritten from nothing. Root reads anything: the operator
// is user nobody, and only the file's own mode stands in the way, not its folders.
TEST_F(Passport, AnUnreadablePassportIsNotRewrittenFromNothing)
{
    std::vector<std::string> command;
    if (geteuid() == 0) {
        std::string skip;
        command = AsNobody(PASSPORT_PROBE, skip);
        if (command.empty())
            GTEST_SKIP() << skip;
    }
    const QString path = Folder.Path("ORVELA/PN00042_06_12_2026.ini");
    Folder.Write("ORVELA/PN00042_06_12_2026.ini", "[OTHER]\r\nKey=1\r\n");
    for (const QString& folder : {Folder.Path(), Folder.Path("ORVELA")})
        ASSERT_EQ(chmod(QFile::encodeName(folder).constData(), 0777), 0);
    ASSERT_EQ(chmod(QFile::encodeName(path).constData(), 0), 0);
    QStringList arguments;
    for (const std::string& part : command)
        arguments << QString::fromStdString(part);
    arguments << PASSPORT_PROBE << "2026-12-06";
    QProcess probe;
    probe.start(arguments.takeFirst(), arguments);
    ASSERT_TRUE(probe.waitForFinished(30000));
    EXPECT_EQ(probe.exitCode(), 1);
    EXPECT_EQ(QString::fromUtf8(probe.readAllStandardError()),
              "Ошибка: Паспорт прибора не сохранен: " + path + ": нет доступа (Permission denied)\n");
    ASSERT_EQ(chmod(QFile::encodeName(path).constData(), 0600), 0);
    EXPECT_EQ(Folder.Read("ORVELA/PN00042_06_12_2026.ini"), "[OTHER]\r\nKey=1\r\n");
    EXPECT_EQ(QDir(Folder.Path("ORVELA")).entryList(QDir::Files), QStringList{"PN00042_06_12_2026.ini"});
}
