#include "app/framecounter.h"

#include <limits>

QString incrementedCount(const QString &text)
{
    bool ok = false;
    qlonglong count = text.toLongLong(&ok, 10);
    if (!ok)
        count = 0;
    // A hand-edited or absurd text must not overflow into a negative count.
    if (count < std::numeric_limits<qlonglong>::max())
        ++count;
    return QString::number(count);
}
