#pragma once

// What the harnesses share: how they stop on a fault, how they hand the input
// to a reader, and the one change a save makes to every text.

#include <QFile>
#include <QString>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

// Stops the run; libFuzzer keeps the input that got here.
[[noreturn]] inline void broken(const char *what)
{
    std::fprintf(stderr, "%s\n", what);
    std::abort();
}

inline void writeInput(const QString &path, const uint8_t *data, size_t size)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)
        || file.write(reinterpret_cast<const char *>(data), qint64(size)) != qint64(size))
        broken("cannot write the input file");
}

// A whitespace-only text is saved as an empty element and loads back empty.
inline QString savedText(const QString &text)
{
    for (const QChar c : text) {
        if (c != ' ' && c != '\t' && c != '\n' && c != '\r')
            return text;
    }
    return QString();
}
