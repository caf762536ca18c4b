#include "windows/logging.h"
#include "ui_logging.h"

#include "resources/appresources.h"

#include "modbus/connectionsettings.h"
#include "storage/settingsfile.h"
#include "windows/dialogs.h"
#include "windows/folderactions.h"
#include "windows/folderpaths.h"

#include <QDir>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QMenu>
#include <QResizeEvent>
#include <QScrollBar>
#include <QTimer>

logging::logging(QWidget *parent)
    : QWidget(parent)
    , ui(new Ui::logging)
{
    initAppResources();
    ui->setupUi(this);
    // Whoever opens it, a closed window is gone and has stored nothing.
    setAttribute(Qt::WA_DeleteOnClose);

    folders = new QFileSystemModel(this);
    folders->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot);
    ui->treeView->setModel(folders);
    for (int column = 1; column <= 3; ++column)
        ui->treeView->hideColumn(column);
    folders->setRootPath(QStringLiteral("/"));

    // A folder that no longer exists has no index: then nothing is current
    // and the folder menu stays away until a folder is clicked.
    const QString start =
        FolderPaths::absolute(Connection.logFolder.isEmpty() ? QDir::homePath() : Connection.logFolder);
    ui->treeView->setCurrentIndex(folders->index(start));
    // Opened down to the chosen folder, so the user sees where the reports
    // go. The model reads and sorts folders in the background, moving rows
    // after the first scroll, so the tree follows the folder until the user
    // clicks, scrolls, opens or closes a folder.
    auto *follow = new QTimer(this);
    follow->setSingleShot(true);
    connect(follow, &QTimer::timeout, this, [this] {
        if (followStart)
            ui->treeView->scrollTo(ui->treeView->currentIndex());
    });
    const auto refollow = [follow] { follow->start(0); };
    connect(folders, &QFileSystemModel::directoryLoaded, follow, refollow);
    connect(folders, &QAbstractItemModel::rowsInserted, follow, refollow);
    connect(folders, &QAbstractItemModel::layoutChanged, follow, refollow);
    const auto stopFollowing = [this] { followStart = false; };
    connect(ui->treeView->verticalScrollBar(), &QAbstractSlider::actionTriggered, this, stopFollowing);
    connect(ui->treeView, &QAbstractItemView::pressed, this, stopFollowing);
    connect(ui->treeView, &QTreeView::collapsed, this, stopFollowing);
    // Scrolling to the folder, the view and the follow open the folders above
    // it; any other folder opened is the user's doing.
    connect(ui->treeView, &QTreeView::expanded, this, [this](const QModelIndex &opened) {
        QModelIndex above = ui->treeView->currentIndex().parent();
        while (above.isValid() && above != opened)
            above = above.parent();
        if (!above.isValid())
            followStart = false;
    });
    refollow();

    ui->loggingcheck->setChecked(Connection.loggingOn);
    ui->logpath->setText(Connection.logFolder);

    folderMenu = new QMenu(this);
    connect(folderMenu->addAction(QStringLiteral("New Folder")), &QAction::triggered, this,
            &logging::NewFolder);
    connect(folderMenu->addAction(QStringLiteral("Rename")), &QAction::triggered, this,
            &logging::RenameFolder);
    connect(folderMenu->addAction(QStringLiteral("Delete")), &QAction::triggered, this,
            &logging::DeleteFolder);
    // After the form's own connection, so the position is stored first.
    connect(ui->treeView, &QWidget::customContextMenuRequested, this, &logging::ShowMenu);
    // When the folder vanishes under an open menu, the model makes a
    // neighbour current; the menu goes rather than act on a folder not chosen.
    connect(ui->treeView->selectionModel(), &QItemSelectionModel::currentChanged, folderMenu, &QMenu::hide);

    ui->treeView->header()->show();
    connect(folders, &QFileSystemModel::directoryLoaded, this, &logging::waitLoadResize);
}

logging::~logging()
{
    // The model keeps loading folders in the background until it goes.
    Dialogs::detachChildren(this);
    delete ui;
}

void logging::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    fitNameColumn();
}

void logging::on_okbutton_clicked()
{
    if (ui->loggingcheck->isChecked() && ui->logpath->text().isEmpty()) {
        Dialogs::warning(this, QStringLiteral("No Directory"),
                         QStringLiteral("A directory to store the logs has to be specified"));
        return;
    }
    Connection.loggingOn = ui->loggingcheck->isChecked();
    Connection.logFolder = ui->logpath->text();
    saveSettings();
    // Destroyed at once, like the connection dialog: Qt guards the button
    // click against the receiver's deletion, and nothing below touches a member.
    delete this;
}

void logging::on_cancelbutton_clicked()
{
    delete this;
}

void logging::on_treeView_clicked(const QModelIndex &index)
{
    // The report file goes into a folder of its own, never into the root.
    const QString path = folders->filePath(index);
    if (path != QLatin1String("/"))
        ui->logpath->setText(path);
    fitNameColumn();
}

void logging::NewFolder()
{
    const QString folder = currentFolder();
    if (!folder.isEmpty())
        FolderActions::newFolder(this, folder);
}

void logging::ShowMenu()
{
    // Only the folder already chosen with a left click gets the menu, so the
    // menu never acts on a folder other than the one under the pointer.
    const QModelIndex current = ui->treeView->currentIndex();
    if (ui->treeView->indexAt(menuPosition) != current || !current.isValid())
        return;
    folderMenu->show();
    folderMenu->move(x() + ui->treeView->x() + menuPosition.x() + 5,
                     y() + ui->treeView->y() + menuPosition.y() + folderMenu->height() - 27);
}

void logging::RenameFolder()
{
    const QString folder = currentFolder();
    if (folder.isEmpty())
        return;
    if (!FolderActions::renameFolder(this, folder))
        Dialogs::warning(this, QStringLiteral("Rename Folder"), QStringLiteral("Can't rename this."));
}

void logging::DeleteFolder()
{
    const QString folder = currentFolder();
    if (!folder.isEmpty())
        FolderActions::deleteFolder(this, folder);
}

void logging::waitLoadResize()
{
    fitNameColumn();
}

void logging::on_treeView_customContextMenuRequested(const QPoint &pos)
{
    menuPosition = pos;
}

void logging::on_treeView_collapsed(const QModelIndex &)
{
    fitNameColumn();
}

QString logging::currentFolder() const
{
    // The current row can go away under the menu (its folder removed on
    // disk); then there is nothing to act on.
    const QModelIndex current = ui->treeView->currentIndex();
    return current.isValid() ? folders->filePath(current) : QString();
}

void logging::fitNameColumn()
{
    // setupUi resizes the window before the model exists.
    if (!folders)
        return;
    QTreeView *tree = ui->treeView;
    tree->resizeColumnToContents(0);
    // The name column fills the tree unless its names are wider; then the
    // tree scrolls sideways.
    if (tree->columnWidth(0) <= tree->width() + 15)
        tree->setColumnWidth(0, tree->width() - 1);
}
