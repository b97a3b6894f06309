// Replaces one file, in a process of its own: for tracing its system calls and for running it as
// another user. Exit 0 when saved; else 1 with the reason on standard error.
#include "common/TextFile.h"

#include <QTextStream>

int main(int argc, char* argv[])
{
    if (argc != 3)
        return 2;
    QString error;
    if (ReplaceFile(QString::fromLocal8Bit(argv[1]), QByteArray(argv[2]), &error))
        return 0;
    QTextStream(stderr) << error << Qt::endl;
    return 1;
}
