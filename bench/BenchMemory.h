#pragma once

#include <QByteArray>
#include <QFile>
#include <QList>

// The process's resident memory, read from /proc, for benchmarks that must
// show that a steady stream does not grow it.
class BenchMemory
{
public:
    // KiB resident now; 0 when /proc cannot be read.
    static double residentKiB()
    {
        QFile statm(QStringLiteral("/proc/self/statm"));
        if (!statm.open(QIODevice::ReadOnly))
            return 0;
        const QList<QByteArray> fields = statm.readAll().split(' ');
        return fields.size() > 1 ? fields.at(1).toDouble() * 4.0 : 0;
    }
};
