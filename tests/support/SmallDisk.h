#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

#include <sys/mount.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

// A tmpfs of a few kilobytes on a fresh folder, for one test of a full disk. Only root may mount:
// elsewhere Skip() says why and the test skips.
class SmallDisk
{
public:
    explicit SmallDisk(int kilobytes)
    {
        char pattern[] = "/tmp/small-disk-XXXXXX";
        if (!mkdtemp(pattern)) {
            Skip_ = "cannot make a folder to mount on";
            return;
        }
        Folder_ = pattern;
        const std::string options = "size=" + std::to_string(kilobytes) + "k,mode=0777";
        if (mount("tmpfs", Folder_.c_str(), "tmpfs", 0, options.c_str()) != 0)
            Skip_ = "cannot mount a tmpfs here (not root?)";
    }

    ~SmallDisk()
    {
        if (Skip_.empty())
            umount2(Folder_.c_str(), MNT_DETACH);
        if (!Folder_.empty())
            rmdir(Folder_.c_str());
    }

    SmallDisk(const SmallDisk&) = delete;
    SmallDisk& operator=(const SmallDisk&) = delete;

    const std::string& Skip() const { return Skip_; }
    // With a trailing separator, as the program folder is given.
    QString Path(const QString& relative = {}) const { return QString::fromStdString(Folder_) + u'/' + relative; }

    // Takes bytes of the disk (all that is left when -1) with a file of its own.
    void Fill(qint64 bytes = -1) const
    {
        QFile file(Path(QStringLiteral("filler")));
        if (!file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered))
            return;
        const QByteArray block(4096, 'x');
        for (qint64 done = 0; bytes < 0 || done < bytes; done += block.size())
            if (file.write(block) != block.size())
                break;
    }
    void Free() const { QFile::remove(Path(QStringLiteral("filler"))); }

private:
    std::string Folder_;
    std::string Skip_;
};
