#pragma once

#include "app/pollstore.h"
#include "data/datatypetable.h"
#include "data/functiontable.h"

#include <QByteArray>
#include <QColor>
#include <QList>

#include <array>

class QTreeWidget;
class QTreeWidgetItem;

// The poll table: one block per poll in the main window's tree, a header row
// naming the poll and under it one row per item with its address, value and
// description. It keeps no state of its own; every drawing reads the poll
// store and the last replies afresh.
class PollTable
{
public:
    // Block colours: the single poll of edit mode and the odd blocks of a
    // sequence are light, the even ones of a sequence darker.
    static const QColor LightBlock;
    static const QColor DarkBlock;

    // Sets column 0 to 50 pixels and turns the tree's sorting off: sorting by
    // column 0 text would put poll 12 before 3 and move item rows away from
    // their item index, where an edit is stored.
    PollTable(QTreeWidget *tree, const std::array<QByteArray, MaxPolls> &responses);

    // A new header row with its item rows, not yet in the tree; nullptr for
    // an index outside 0..98.
    QTreeWidgetItem *buildPollBlock(int index, const QColor &colour) const;

    // Redraws the block of the poll in place, keeping its colour and whether
    // it is expanded; nothing when the table does not show it.
    void refreshPoll(int index);
    // Edit mode: only this poll, expanded.
    void showSinglePoll(int index);
    // Sequence mode: each distinct poll number once, ascending, collapsed.
    void showSequence(const QList<int> &numbers);

    // Double-click: opens the cell editor on a description, or on a value of
    // a write function (the code read from the block's header row).
    void openEditor(QTreeWidgetItem *item, int column);
    // Stores an edited value or description into the poll of the item's own
    // block; false when nothing was stored.
    bool storeEdit(QTreeWidgetItem *item, int column);

private:
    QTreeWidget *m_tree;
    const std::array<QByteArray, MaxPolls> &m_responses;
    DataTypeTable m_types;
    FunctionTable m_functions;
};
