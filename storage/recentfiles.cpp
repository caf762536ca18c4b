#include "storage/recentfiles.h"

namespace RecentFiles {

QStringList withFile(QStringList list, const QString &path)
{
    const int at = list.indexOf(path);
    if (at >= 0)
        list.removeAt(at);
    else if (!list.isEmpty()) // an empty list only grows
        list.removeLast();
    list.prepend(path);
    return list;
}

QString browserStart(const QString &chosenPath, const QString &lastPollFile, const QStringList &recent)
{
    if (chosenPath.isEmpty() && !recent.isEmpty())
        return recent.first();
    return lastPollFile;
}

} // namespace RecentFiles
