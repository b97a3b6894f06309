#include "common/TextFile.h"

#include "AsNobody.h"
#include "SmallDisk.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

QByteArray Read(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Names in the folder besides those given: a temporary copy left behind shows up here.
QStringList Others(const QString& folder, const QStringList& expected)
{
    QStringList names = QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System);
    for (const QString& name : expected)
        names.removeAll(name);
    return names;
}

struct ProbeRun
{
    int ExitCode = -1;
    QString Errors;
    QString Trace;
};

ProbeRun Probe(const QStringList& prefix, const QString& path, const QString& text, const QString& trace = {})
{
    QProcess process;
    // The leak checker of a sanitizer build cannot run under a tracer; the probe only saves a file.
    if (!trace.isEmpty() && qEnvironmentVariableIsSet("ASAN_OPTIONS")) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("ASAN_OPTIONS"), env.value(QStringLiteral("ASAN_OPTIONS")) + QStringLiteral(":detect_leaks=0"));
        process.setProcessEnvironment(env);
    }
    QStringList command = prefix;
    command << QStringLiteral(REPLACE_FILE_PROBE) << path << text;
    process.start(command.takeFirst(), command);
    ProbeRun run;
    if (!process.waitForFinished(30000))
        return run;
    run.ExitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.Errors = QString::fromUtf8(process.readAllStandardError());
    if (!trace.isEmpty())
        run.Trace = QString::fromUtf8(Read(trace));
    return run;
}

}  // namespace

TEST(ReplaceFile, ATargetThatIsNoRegularFileIsRefusedAndStaysWhatItWas)
{
    QTemporaryDir dir;
    const QString pipe = dir.filePath(QStringLiteral("pipe"));
    ASSERT_EQ(mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    const QString folder = dir.filePath(QStringLiteral("folder"));
    ASSERT_TRUE(QDir().mkpath(folder));
    for (const QString& target : {pipe, folder}) {
        QString error;
        EXPECT_FALSE(ReplaceFile(target, "data", &error)) << target.toStdString();
        EXPECT_EQ(error, QStringLiteral("это не обычный файл"));
    }
    struct stat info {};
    ASSERT_EQ(stat(QFile::encodeName(pipe).constData(), &info), 0);
    EXPECT_TRUE(S_ISFIFO(info.st_mode));
    EXPECT_TRUE(QFileInfo(folder).isDir());
    EXPECT_EQ(Others(dir.path(), {QStringLiteral("pipe"), QStringLiteral("folder")}), QStringList());
}

TEST(ReplaceFile, KeepsTheFilesPermissionsAndWritesThroughALink)
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("settings.ini"));
    const QString link = dir.filePath(QStringLiteral("link.ini"));
    ASSERT_TRUE(ReplaceFile(file, "old"));
    ASSERT_EQ(chmod(QFile::encodeName(file).constData(), 0640), 0);
    ASSERT_TRUE(QFile::link(file, link));
    ASSERT_TRUE(ReplaceFile(link, "new"));
    EXPECT_EQ(Read(file), "new");
    EXPECT_TRUE(QFileInfo(link).isSymLink());
    EXPECT_EQ(QFileInfo(file).permissions() & 0x0777,
              QFileDevice::ReadUser | QFileDevice::WriteUser | QFileDevice::ReadGroup);
}

TEST(ReplaceFile, AFullDiskLeavesTheOldFileWholeAndSaysWhy)
{
    const SmallDisk disk(64);
    if (!disk.Skip().empty())
        GTEST_SKIP() << disk.Skip();
    const QString path = disk.Path(QStringLiteral("VANTOR.ini"));
    ASSERT_TRUE(ReplaceFile(path, "[VANTOR]\r\nSystemAddress=1\r\n"));
    QString error;
    EXPECT_FALSE(ReplaceFile(path, QByteArray(128 * 1024, 'x'), &error));
    EXPECT_EQ(error, QStringLiteral("диск переполнен (No space left on device)"));
    EXPECT_EQ(Read(path), "[VANTOR]\r\nSystemAddress=1\r\n");
    EXPECT_EQ(Others(disk.Path(), {QStringLiteral("VANTOR.ini")}), QStringList());
}

// A record cut by a full disk would glue the next one to its first half.
TEST(AppendTextLines, ARecordIsWrittenWholeOrNotAtAll)
{
    const SmallDisk disk(64);
    if (!disk.Skip().empty())
        GTEST_SKIP() << disk.Skip();
    const QString path = disk.Path(QStringLiteral("log.txt"));
    ASSERT_TRUE(AppendTextLines(path, {QStringLiteral("первая")}));
    disk.Fill();
    QString error;
    EXPECT_FALSE(AppendTextLines(path, {QStringLiteral("name"), QString(8192, u'0')}, &error));
    EXPECT_EQ(error, QStringLiteral("диск переполнен (No space left on device)"));
    EXPECT_EQ(Read(path), "\xEF\xE5\xF0\xE2\xE0\xFF\r\n");
    disk.Free();
    EXPECT_TRUE(AppendTextLines(path, {QStringLiteral("next")}));
    EXPECT_EQ(Read(path), "\xEF\xE5\xF0\xE2\xE0\xFF\r\nnext\r\n");
}

// A renamed file is durable only once its bytes were synced before the rename and its folder
// after: traced, because nothing short of a power cut shows the difference otherwise.
TEST(ReplaceFile, SyncsTheFileBeforeAndTheFolderAfterTheRename)
{
    const QString strace = QStandardPaths::findExecutable(QStringLiteral("strace"));
    if (strace.isEmpty())
        GTEST_SKIP() << "no strace on this machine";
    QTemporaryDir dir;
    const QString target = dir.filePath(QStringLiteral("VANTOR.ini"));
    const QString trace = dir.filePath(QStringLiteral("trace.txt"));
    const ProbeRun run = Probe({strace, QStringLiteral("-f"), QStringLiteral("-o"), trace, QStringLiteral("-e"),
                           QStringLiteral("trace=openat,open,rename,renameat,renameat2,fsync,fdatasync")},
                          target, QStringLiteral("SystemAddress=5"), trace);
    if (run.ExitCode != 0 && run.Trace.contains(QStringLiteral("PTRACE")))
        GTEST_SKIP() << "strace cannot trace here: " << run.Errors.toStdString();
    ASSERT_EQ(run.ExitCode, 0) << run.Errors.toStdString();
    EXPECT_EQ(Read(target), "SystemAddress=5");

    const QStringList lines = run.Trace.split(u'\n');
    qsizetype renamed = -1;
    for (qsizetype i = 0; i < lines.size() && renamed < 0; ++i)
        if (lines[i].contains(QStringLiteral("rename")) && lines[i].contains(u'"' + target + u'"') &&
            lines[i].endsWith(QStringLiteral("= 0")))
            renamed = i;
    ASSERT_GE(renamed, 0) << run.Trace.toStdString();
    // The temporary copy beside the target, opened (created) and synced before the rename.
    const QRegularExpression openCopy(QStringLiteral("open(at)?\\(.*\"") + QRegularExpression::escape(target) +
                                      QStringLiteral("\\.[^\"/]+\", .*O_CREAT.*\\) = (\\d+)$"));
    const auto syncs = [](const QString& line, const QString& fd) {
        return !fd.isEmpty() && line.contains(QRegularExpression(QStringLiteral("fsync\\(%1\\)\\s+= 0$").arg(fd)));
    };
    QString copy;
    bool copySynced = false;
    for (qsizetype i = 0; i < renamed; ++i) {
        if (const QRegularExpressionMatch match = openCopy.match(lines[i]); match.hasMatch())
            copy = match.captured(2);
        else if (syncs(lines[i], copy))
            copySynced = true;
    }
    EXPECT_TRUE(copySynced) << run.Trace.toStdString();
    const QRegularExpression openFolder(QStringLiteral("open(at)?\\(.*\"") + QRegularExpression::escape(dir.path()) +
                                        QStringLiteral("\", .*O_DIRECTORY.*\\) = (\\d+)$"));
    QString fd;
    bool synced = false;
    for (qsizetype i = renamed + 1; i < lines.size() && !synced; ++i) {
        if (const QRegularExpressionMatch match = openFolder.match(lines[i]); match.hasMatch())
            fd = match.captured(2);
        else if (syncs(lines[i], fd))
            synced = true;
    }
    EXPECT_TRUE(synced) << run.Trace.toStdString();
}

// Root writes anywhere: the operator's read-only folder is tried as user nobody.
TEST(ReplaceFile, AReadOnlyFolderIsToldAsSuchToAnOrdinaryUser)
{
    std::string skip;
    const std::vector<std::string> asNobody = AsNobody(REPLACE_FILE_PROBE, skip);
    if (asNobody.empty())
        GTEST_SKIP() << skip;
    QTemporaryDir dir;
    const QString target = dir.filePath(QStringLiteral("VANTOR.ini"));
    ASSERT_TRUE(ReplaceFile(target, "SystemAddress=1"));
    ASSERT_EQ(chmod(QFile::encodeName(target).constData(), 0666), 0);
    ASSERT_EQ(chmod(QFile::encodeName(dir.path()).constData(), 0555), 0);
    QStringList prefix;
    for (const std::string& part : asNobody)
        prefix << QString::fromStdString(part);
    const ProbeRun run = Probe(prefix, target, QStringLiteral("SystemAddress=5"));
    EXPECT_EQ(run.ExitCode, 1);
    EXPECT_EQ(run.Errors, QStringLiteral("нет доступа (Permission denied)\n"));
    EXPECT_EQ(Read(target), "SystemAddress=1");
    chmod(QFile::encodeName(dir.path()).constData(), 0700);
}
