#pragma once

#include "data/functiontable.h"

#include <QDialog>
#include <QList>

class QListWidgetItem;

namespace Ui {
class polls;
}

// The sequence editor. It edits a working sequence of poll numbers that the
// caller owns, in place but late: the list is read once, when the dialog is
// built, and written back, in the order the entries then stand, only in the
// destructor. Until then the caller's list is untouched, so a polling engine
// may keep running it. Every way out commits (there is no cancel): "back",
// any close of the window (it sets Qt::WA_DeleteOnClose itself), or delete.
//
// The main window's side:
// - create it with new and no parent (never on the stack, since it deletes
//   itself), add Qt::WindowStaysOnTopHint, centre it over the window, show it
//   and connect destroyed() to Sequence_Destroyed();
// - destroyed() is emitted after the destructor has written the list, so
//   Sequence_Destroyed() reads the edited workingSequence and copies it into
//   Sequence itself (the dialog never touches Sequence);
// - the list must outlive the dialog: a window that can be destroyed while
//   the dialog is open must delete the dialog first (keep it in a QPointer).
class polls : public QDialog
{
    Q_OBJECT

public:
    explicit polls(QList<int> &workingSequence, QWidget *parent = nullptr);
    ~polls() override;

    // Fills the "Poll" group from PollStore: description, start address and
    // function of the poll with this number (1..99).
    void showPollInfo(int number);

private slots:
    void on_pushButton_clicked();
    void on_pollnum_valueChanged(int value);
    void on_sequence_itemClicked(QListWidgetItem *item);
    void on_backbutton_clicked();

private:
    QList<int> *workingSequence; // the caller's, not owned
    Ui::polls *ui;
    const FunctionTable functions;
};
