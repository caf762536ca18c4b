#pragma once

#include <QString>

class QWidget;

// The folder operations of the browsers' context menus, each asking its own
// question first. Names that would lead outside the folder are refused like
// any other failure.
namespace FolderActions {

// "Create New Folder": the typed name, or relative path with any missing
// folders, inside folder. A failure is not reported.
void newFolder(QWidget *parent, const QString &folder);

// "Rename Folder": false only when a rename was tried and failed.
bool renameFolder(QWidget *parent, const QString &path);

// "Delete Folder": removes the folder if it is empty, and warns if not.
void deleteFolder(QWidget *parent, const QString &path);

} // namespace FolderActions
