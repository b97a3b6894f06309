#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

// A fresh program folder for one test: ORVELA_HOME points at it while the object lives.
class TestFolder
{
public:
    TestFolder() { qputenv("ORVELA_HOME", Dir_.path().toLocal8Bit()); }
    ~TestFolder() { qunsetenv("ORVELA_HOME"); }

    QString Path(const QString& relative = {}) const { return Dir_.path() + u'/' + relative; }

    QByteArray Read(const QString& relative) const
    {
        QFile file(Path(relative));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    void Write(const QString& relative, const QByteArray& bytes) const
    {
        QDir().mkpath(QFileInfo(Path(relative)).absolutePath());
        QFile file(Path(relative));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(bytes);
    }

private:
    QTemporaryDir Dir_;
};
