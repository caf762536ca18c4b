#pragma once

#include <QString>

// Every number the program keeps (poll fields, settings, counters) is decimal
// text; text that does not parse counts as 0.
inline int decimalValue(const QString &text)
{
    bool ok = false;
    const int value = text.toInt(&ok, 10);
    return ok ? value : 0;
}
