#include "windows/folderactions.h"

#include "windows/dialogs.h"
#include "windows/folderpaths.h"

#include <QDir>

namespace FolderActions {

void newFolder(QWidget *parent, const QString &folder)
{
    QString name;
    if (!Dialogs::getText(parent, QStringLiteral("Create New Folder"), QStringLiteral("Folder Name:"),
                          QString(), &name)
        || name.isEmpty())
        return;
    const QString path = FolderPaths::childPath(folder, name);
    if (!path.isEmpty())
        QDir().mkpath(path);
}

bool renameFolder(QWidget *parent, const QString &path)
{
    const QString oldName = FolderPaths::lastPart(path);
    const QString parentFolder = FolderPaths::parentPart(path);
    QString name;
    if (!Dialogs::getText(parent, QStringLiteral("Rename Folder"), QStringLiteral("Folder Name:"), oldName,
                          &name)
        || name.isEmpty())
        return true;
    // The file system root has no name to change.
    const QString target = FolderPaths::childPath(parentFolder, name);
    return !oldName.isEmpty() && !target.isEmpty() && QDir(parentFolder).rename(oldName, target);
}

void deleteFolder(QWidget *parent, const QString &path)
{
    const QString name = FolderPaths::lastPart(path);
    const QString question = QStringLiteral("Are you sure you want to delete the \"") + name
                             + QStringLiteral("\" folder?");
    if (Dialogs::question(parent, QStringLiteral("Delete Folder"), question, QMessageBox::Yes | QMessageBox::No)
        != QMessageBox::Yes)
        return;
    // rmdir removes only an empty folder.
    if (name.isEmpty() || !QDir(FolderPaths::parentPart(path)).rmdir(name))
        Dialogs::warning(parent, QStringLiteral("Delete Folder"),
                         QStringLiteral("Folder needs to be empty to be deleted."));
}

} // namespace FolderActions
