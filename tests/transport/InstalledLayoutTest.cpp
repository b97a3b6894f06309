#include "AsNobody.h"
#include "SimulatorProcess.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <optional>

namespace {

const QString kCatalogue = QStringLiteral(ORVELA_TRANSPORT_CATALOGUE);
const QString kTranslated = QStringLiteral("Не удалось открыть COM-порт");

// An environment variable set, or removed, while the object lives.
class ScopedVariable
{
public:
    ScopedVariable(const char* name, std::optional<QByteArray> value) : Name_(name)
    {
        if (qEnvironmentVariableIsSet(name))
            Old_ = qgetenv(name);
        if (value)
            qputenv(name, *value);
        else
            qunsetenv(name);
    }
    ~ScopedVariable()
    {
        if (Old_)
            qputenv(Name_, *Old_);
        else
            qunsetenv(Name_);
    }

private:
    const char* Name_;
    std::optional<QByteArray> Old_;
};

// A folder tree of the test's own that others may enter.
class Layout
{
public:
    Layout() { chmod(QFile::encodeName(Dir_.path()).constData(), 0755); }

    QString Path(const QString& relative) const { return Dir_.path() + u'/' + relative; }

    // The probe program copied to relative, as an installer or an operator would copy it.
    std::string Program(const QString& relative) const
    {
        QDir().mkpath(QFileInfo(Path(relative)).absolutePath());
        EXPECT_TRUE(QFile::copy(QStringLiteral(ORVELA_FOLDER_PROBE), Path(relative)));
        return Path(relative).toStdString();
    }

    void Catalogue(const QString& folder) const
    {
        QDir().mkpath(Path(folder + QStringLiteral("/ru/LC_MESSAGES")));
        EXPECT_TRUE(QFile::copy(kCatalogue, Path(folder + QStringLiteral("/ru/LC_MESSAGES/default.mo"))));
    }

private:
    QTemporaryDir Dir_;
};

// The probe's three lines: program folder, catalogue folder, the translated message.
QStringList RunProbe(const std::vector<std::string>& command)
{
    const ScopedVariable language("LC_ALL", QByteArray("ru_RU.UTF-8"));
    const FinishedRun run = RunProgram(command, true);
    EXPECT_EQ(run.ExitCode, 0) << run.Output;
    QStringList lines = QString::fromStdString(run.Output).split(u'\n');
    lines.removeAll(QString());
    return lines;
}

class ProgramLayout : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!QFile::exists(kCatalogue))
            GTEST_SKIP() << "no compiled catalogue";
    }

    ScopedVariable NoOverride{"ORVELA_HOME", std::nullopt};
    Layout Files;
};

}  // namespace

TEST_F(ProgramLayout, APortableCopyKeepsItsFilesAndCataloguesBesideIt)
{
    const std::string program = Files.Program(QStringLiteral("portable/orvela"));
    Files.Catalogue(QStringLiteral("portable/locale"));
    EXPECT_EQ(RunProbe({program}), QStringList({Files.Path("portable/"), Files.Path("portable/locale"), kTranslated}));
}

TEST_F(ProgramLayout, AnInstalledCopyUsesThePerUserFolderAndFindsItsCataloguesWhereverThePrefixMoves)
{
    const ScopedVariable data("XDG_DATA_HOME", Files.Path("data").toLocal8Bit());
    const std::string program = Files.Program(QStringLiteral("usr/bin/orvela"));
    Files.Catalogue(QStringLiteral("usr/share/orvela/locale"));
    // The bin folder is writable here (root may write /usr/bin): no files may land there.
    EXPECT_EQ(RunProbe({program}),
              QStringList({Files.Path("data/Orvela/"), Files.Path("usr/share/orvela/locale"), kTranslated}));
    EXPECT_TRUE(QFileInfo(Files.Path("data/Orvela")).isDir());
    EXPECT_EQ(QDir(Files.Path("usr/bin")).entryList(QDir::NoDotAndDotDot | QDir::AllEntries), QStringList{"orvela"});

    ASSERT_TRUE(QDir().rename(Files.Path("usr"), Files.Path("opt")));
    EXPECT_EQ(RunProbe({Files.Path("opt/bin/orvela").toStdString()}),
              QStringList({Files.Path("data/Orvela/"), Files.Path("opt/share/orvela/locale"), kTranslated}));
    // ORVELA_HOME still rules.
    const ScopedVariable home("ORVELA_HOME", Files.Path("home").toLocal8Bit());
    EXPECT_EQ(RunProbe({Files.Path("opt/bin/orvela").toStdString()}).value(0), Files.Path("home/"));
}

TEST_F(ProgramLayout, ACopyInAFolderTheUserMayNotWriteUsesTheirDataFolder)
{
    const std::string program = Files.Program(QStringLiteral("readonly/orvela"));
    std::string skip;
    std::vector<std::string> command = AsNobody(program, skip);
    if (command.empty())
        GTEST_SKIP() << skip;
    ASSERT_EQ(chmod(QFile::encodeName(Files.Path("readonly")).constData(), 0555), 0);
    QDir().mkpath(Files.Path("home"));
    ASSERT_EQ(chown(QFile::encodeName(Files.Path("home")).constData(), 65534, 65534), 0);
    const ScopedVariable home("HOME", Files.Path("home").toLocal8Bit());
    const ScopedVariable data("XDG_DATA_HOME", std::nullopt);
    command.push_back(program);
    EXPECT_EQ(RunProbe(command).value(0), Files.Path("home/.local/share/Orvela/"));
    struct stat info{};
    ASSERT_EQ(stat(QFile::encodeName(Files.Path("home/.local/share/Orvela")).constData(), &info), 0);
    EXPECT_EQ(info.st_uid, 65534u);
    EXPECT_EQ(QDir(Files.Path("readonly")).entryList(QDir::NoDotAndDotDot | QDir::AllEntries), QStringList{"orvela"});
}
