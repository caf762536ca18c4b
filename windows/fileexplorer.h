#pragma once

#include <QModelIndex>
#include <QPoint>
#include <QString>
#include <QWidget>

class QFileSystemModel;
class QMenu;

namespace Ui {
class fileexplorer;
}

// The poll file chooser, for saving or loading. It writes nothing but the
// caller's result text: empty from construction, and the confirmed full path
// just before the window deletes itself, so a handler of destroyed() reads
// the choice. Cancel, or a close with Qt::WA_DeleteOnClose (which the caller
// sets), leaves it empty. The poll file itself is the caller's business.
// The folder and file menus create, rename and delete folders and rename and
// delete files, never outside the folder they act on. Create it with new and
// keep the result text alive as long as the window.
class fileexplorer : public QWidget
{
    Q_OBJECT

public:
    fileexplorer(bool isSave, QString *result, QString suggestedPath, QWidget *parent = nullptr);
    ~fileexplorer() override;

protected:
    void resizeEvent(QResizeEvent *event) override;

private slots:
    void on_treeView_clicked(const QModelIndex &index);
    void on_cancelbutton_clicked();
    void on_listView_clicked(const QModelIndex &index);
    void on_saveload_clicked();
    void NewFolder();
    void ShowMenu();
    void RenameFolder();
    void DeleteFolder();
    void RenameFile();
    void DeleteFile();
    void on_treeView_customContextMenuRequested(const QPoint &pos);
    void on_listView_customContextMenuRequested(const QPoint &pos);
    void on_treeView_collapsed(const QModelIndex &index);
    void waitLoadResize();

private:
    QString startFolder(const QString &suggestedPath) const;
    QString currentFolder() const;
    QString currentFile() const;
    void fitNameColumn();

    Ui::fileexplorer *ui;
    bool isSave;
    QString *result; // the caller's, not owned
    QFileSystemModel *folderModel;
    QFileSystemModel *fileModel;
    QMenu *folderMenu;
    QMenu *fileMenu;
    QPoint menuPosition;
    QPoint menuPoint;
    bool menuFromTree = false;
};
