#pragma once

#include <QPoint>
#include <QString>
#include <QWidget>

class QFileSystemModel;
class QMenu;
class QModelIndex;
class QResizeEvent;

namespace Ui {
class logging;
}

// The report logging window: switches the daily report file of failed polls
// on or off and picks the folder it goes to, with a folder menu to create,
// rename and delete folders. It edits nothing until "ok", which stores the
// choice in Connection and writes the settings file. It deletes itself on
// "ok", "cancel" and when closed, so create it with new, never on the stack.
class logging : public QWidget
{
    Q_OBJECT

public:
    explicit logging(QWidget *parent);
    ~logging() override;

protected:
    void resizeEvent(QResizeEvent *event) override;

private slots:
    void on_okbutton_clicked();
    void on_cancelbutton_clicked();
    void on_treeView_clicked(const QModelIndex &index);
    void NewFolder();
    void ShowMenu();
    void RenameFolder();
    void DeleteFolder();
    void waitLoadResize();
    void on_treeView_customContextMenuRequested(const QPoint &pos);
    void on_treeView_collapsed(const QModelIndex &index);

private:
    QString currentFolder() const;
    void fitNameColumn();

    Ui::logging *ui;
    QFileSystemModel *folders = nullptr;
    QMenu *folderMenu = nullptr;
    QPoint menuPosition;
    bool followStart = true;
};
