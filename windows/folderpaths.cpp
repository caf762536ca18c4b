#include "windows/folderpaths.h"

#include <QDir>

namespace FolderPaths {

// A typed name that is absolute or climbs out with ".." is refused rather than followed.
QString childPath(const QString &folder, const QString &name)
{
    if (name.isEmpty() || folder.isEmpty() || QDir::isAbsolutePath(name))
        return QString();
    const QString base = QDir::cleanPath(folder);
    const QString path = QDir::cleanPath(base + QLatin1Char('/') + name);
    const QString prefix = base.endsWith(QLatin1Char('/')) ? base : base + QLatin1Char('/');
    if (!path.startsWith(prefix) || path.size() == prefix.size())
        return QString();
    return path;
}

QString lastPart(const QString &path)
{
    return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
}

QString parentPart(const QString &path)
{
    const int slash = path.lastIndexOf(QLatin1Char('/'));
    // A folder just below the root has the root as its parent, not "".
    return slash < 0 ? QString() : slash == 0 ? QStringLiteral("/") : path.left(slash);
}

QString absolute(const QString &path)
{
    return path.isEmpty() ? QString() : QDir::cleanPath(QDir::current().absoluteFilePath(path));
}

QString nearestFolder(const QString &path, const std::function<bool(const QString &)> &usable)
{
    const QString root = QStringLiteral("/");
    QString folder = absolute(path);
    if (!folder.startsWith(root))
        return root;
    while (folder != root && !usable(folder)) {
        const QString parent = parentPart(folder);
        if (parent.size() >= folder.size() || !parent.startsWith(root))
            return root;
        folder = parent;
    }
    return folder;
}

} // namespace FolderPaths
