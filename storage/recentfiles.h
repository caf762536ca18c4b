#pragma once

#include <QString>
#include <QStringList>

// The rules of the "Recent Poll Files" list and of where the file browser
// starts, apart from the windows that use them.
namespace RecentFiles {

// The list with path at the front and the same length: a path already listed
// (compared exactly) moves there, a new one pushes the last entry out.
QStringList withFile(QStringList list, const QString &path);

// The browser starts at the last file loaded, or at the most recent file
// when nothing was chosen in the browser last time.
QString browserStart(const QString &chosenPath, const QString &lastPollFile, const QStringList &recent);

} // namespace RecentFiles
