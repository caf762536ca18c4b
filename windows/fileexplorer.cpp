#include "windows/fileexplorer.h"
#include "ui_fileexplorer.h"

#include "resources/appresources.h"

#include "windows/dialogs.h"
#include "windows/folderactions.h"
#include "windows/folderpaths.h"
#include "windows/xmlfilename.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QMenu>

namespace {

const QString rootFolder = QStringLiteral("/");

} // namespace

fileexplorer::fileexplorer(bool isSave, QString *result, QString suggestedPath, QWidget *parent)
    : QWidget(parent)
    , ui(new Ui::fileexplorer)
    , isSave(isSave)
    , result(result)
    , folderModel(new QFileSystemModel(this))
    , fileModel(new QFileSystemModel(this))
    , folderMenu(new QMenu(this))
    , fileMenu(new QMenu(this))
{
    initAppResources();
    ui->setupUi(this);
    // The caller sets this too; without it a closed window would never tell
    // the caller, through destroyed(), that nothing was chosen.
    setAttribute(Qt::WA_DeleteOnClose);
    if (isSave) {
        ui->saveload->setText(QStringLiteral("Save"));
        if (!suggestedPath.isEmpty())
            ui->filename->setText(FolderPaths::lastPart(suggestedPath));
    } else {
        ui->saveload->setText(QStringLiteral("Load"));
    }
    if (result)
        result->clear();

    folderModel->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot);
    ui->treeView->setModel(folderModel);
    for (int column = 1; column <= 3; ++column)
        ui->treeView->hideColumn(column);
    folderModel->setRootPath(FolderPaths::absolute(QDir::homePath()));
    ui->treeView->setCurrentIndex(folderModel->index(startFolder(suggestedPath)));

    fileModel->setFilter(QDir::Files | QDir::NoDotAndDotDot);
    fileModel->setNameFilters({QStringLiteral("*.xml")});
    fileModel->setNameFilterDisables(false);
    ui->listView->setModel(fileModel);
    const QString folder = currentFolder();
    if (!folder.isEmpty()) {
        // The root stays out of the field, so confirming there is refused.
        if (folder != rootFolder)
            ui->directory->setText(folder + QLatin1Char('/'));
        ui->listView->setRootIndex(fileModel->setRootPath(folder));
    }

    folderMenu->addAction(QStringLiteral("New Folder"), this, &fileexplorer::NewFolder);
    folderMenu->addAction(QStringLiteral("Rename"), this, &fileexplorer::RenameFolder);
    folderMenu->addAction(QStringLiteral("Delete"), this, &fileexplorer::DeleteFolder);
    // After the views' own slots, connected by name in setupUi, have stored
    // where the request came from.
    connect(ui->treeView, &QWidget::customContextMenuRequested, this, &fileexplorer::ShowMenu);
    fileMenu->addAction(QStringLiteral("Rename"), this, &fileexplorer::RenameFile);
    fileMenu->addAction(QStringLiteral("Delete"), this, &fileexplorer::DeleteFile);
    connect(ui->listView, &QWidget::customContextMenuRequested, this, &fileexplorer::ShowMenu);

    ui->treeView->setHeaderHidden(false);
    connect(folderModel, &QFileSystemModel::directoryLoaded, this, &fileexplorer::waitLoadResize);
}

fileexplorer::~fileexplorer()
{
    // The models keep loading folders in the background until they go.
    Dialogs::detachChildren(this);
    delete ui;
}

// The folder of the suggested file, or home. A folder that has gone, or a
// file where the folder should be, has no row in the tree, and without a
// current folder the list would show the file system's top level and a name
// would have no folder to go into: the nearest folder above it stands in.
// (A hidden folder gets a row when asked for by path.)
QString fileexplorer::startFolder(const QString &suggestedPath) const
{
    QString folder = suggestedPath.isEmpty() ? QString() : FolderPaths::parentPart(suggestedPath);
    // HOME may be relative (launchers, sandboxes): made absolute, like any
    // path from outside, before the climb.
    if (!QDir::isAbsolutePath(folder))
        folder = FolderPaths::absolute(QDir::homePath());
    return FolderPaths::nearestFolder(folder, [this](const QString &candidate) {
        return QFileInfo(candidate).isDir() && folderModel->index(candidate).isValid();
    });
}

QString fileexplorer::currentFolder() const
{
    const QModelIndex index = ui->treeView->currentIndex();
    return index.isValid() ? folderModel->filePath(index) : QString();
}

QString fileexplorer::currentFile() const
{
    const QModelIndex index = ui->listView->currentIndex();
    return index.isValid() ? fileModel->filePath(index) : QString();
}

void fileexplorer::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    fitNameColumn();
}

void fileexplorer::on_treeView_clicked(const QModelIndex &index)
{
    const QString path = folderModel->filePath(index);
    ui->listView->setRootIndex(fileModel->setRootPath(path));
    // The model shows the folders on the way to an earlier root whatever the
    // filter says; filtering again takes them out of the file list.
    fileModel->setNameFilters(fileModel->nameFilters());
    if (path != rootFolder)
        ui->directory->setText(path + QLatin1Char('/'));
    fitNameColumn();
}

void fileexplorer::on_cancelbutton_clicked()
{
    delete this;
}

void fileexplorer::on_listView_clicked(const QModelIndex &index)
{
    ui->filename->setText(fileModel->fileName(index));
}

void fileexplorer::on_saveload_clicked()
{
    const QString name = XmlFileName::completed(ui->filename->text());
    if (!XmlFileName::hasXmlType(name)) {
        Dialogs::warning(this, QStringLiteral("Invalid filetype"),
                         QStringLiteral("The filetype must be '.xml' in lowercase"));
        return;
    }
    // Only a folder chosen in the tree gives a path; the type check above
    // leaves no ".." in the name to climb out of it.
    if (ui->directory->text().isEmpty())
        return;
    const QString path = ui->directory->text() + name;
    const QFileInfo info(path);
    if (isSave) {
        if (info.exists()
            && Dialogs::question(this, QStringLiteral("Save"),
                                 QStringLiteral("Are you sure you want \n to overwrite this file?"),
                                 QMessageBox::Save | QMessageBox::Cancel, QMessageBox::Cancel)
                   != QMessageBox::Save)
            return;
    } else if (!info.isFile()) {
        Dialogs::warning(this, QStringLiteral("Load Fail"), QStringLiteral("This file does not exsist"));
        return;
    }
    if (result)
        result->append(path);
    // Destroyed at once: the caller's destroyed() handler saves or loads
    // before any other event runs. Qt guards the click delivery against the
    // button's deletion, and nothing touches a member after this line.
    delete this;
}

void fileexplorer::NewFolder()
{
    const QString folder = currentFolder();
    if (!folder.isEmpty())
        FolderActions::newFolder(this, folder);
}

void fileexplorer::ShowMenu()
{
    QAbstractItemView *view = menuFromTree ? static_cast<QAbstractItemView *>(ui->treeView) : ui->listView;
    QMenu *menu = menuFromTree ? folderMenu : fileMenu;
    // A right click acts only on the item already chosen with a left click.
    const QModelIndex current = view->currentIndex();
    if (view->indexAt(menuPosition) != current || !current.isValid())
        return;
    menu->show();
    menu->move(x() + menuPoint.x() + 5, y() + menuPoint.y() + menu->height() - (menuFromTree ? 30 : 26));
}

void fileexplorer::RenameFolder()
{
    const QString folder = currentFolder();
    // A failed rename leaves the tree as it was, which says enough.
    if (!folder.isEmpty())
        FolderActions::renameFolder(this, folder);
}

void fileexplorer::DeleteFolder()
{
    const QString folder = currentFolder();
    if (!folder.isEmpty())
        FolderActions::deleteFolder(this, folder);
}

// File operations act in the folder the list shows: the tree may have moved on.
void fileexplorer::RenameFile()
{
    const QString path = currentFile();
    if (path.isEmpty())
        return;
    QString name;
    if (!Dialogs::getText(this, QStringLiteral("Rename XML file"), QStringLiteral("XML File Name:"),
                          XmlFileName::withoutExtension(FolderPaths::lastPart(path)), &name)
        || name.isEmpty())
        return;
    // QFile::rename never replaces an existing file; a failure is not reported.
    const QString target =
        FolderPaths::childPath(FolderPaths::parentPart(path), XmlFileName::completed(name));
    if (!target.isEmpty())
        QFile::rename(path, target);
}

void fileexplorer::DeleteFile()
{
    const QString path = currentFile();
    if (path.isEmpty())
        return;
    const QString question = QStringLiteral("Are you sure you want to delete the \"")
                             + FolderPaths::lastPart(path) + QStringLiteral("\" file?");
    if (Dialogs::question(this, QStringLiteral("Delete File"), question, QMessageBox::Yes | QMessageBox::No)
        != QMessageBox::Yes)
        return;
    if (!QFile::remove(path))
        Dialogs::warning(this, QStringLiteral("Delete File"), QStringLiteral("File could not be removed."));
}

void fileexplorer::on_treeView_customContextMenuRequested(const QPoint &pos)
{
    menuPosition = pos;
    menuPoint = pos + ui->treeView->pos();
    menuFromTree = true;
}

void fileexplorer::on_listView_customContextMenuRequested(const QPoint &pos)
{
    menuPosition = pos;
    menuPoint = pos + ui->listView->pos();
    menuFromTree = false;
}

void fileexplorer::on_treeView_collapsed(const QModelIndex &)
{
    fitNameColumn();
}

void fileexplorer::waitLoadResize()
{
    fitNameColumn();
}

// Column 0 fills the tree less room for a scroll bar, and grows past it, with
// horizontal scrolling, when the names need it.
void fileexplorer::fitNameColumn()
{
    QTreeView *tree = ui->treeView;
    tree->resizeColumnToContents(0);
    if (tree->width() - 16 > tree->columnWidth(0))
        tree->setColumnWidth(0, tree->width() - 16);
}
