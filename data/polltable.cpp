#include "data/polltable.h"

#include "data/decimaltext.h"
#include "data/valuedecoding.h"

#include <QSignalBlocker>
#include <QTreeWidget>
#include <QTreeWidgetItem>

namespace {

// Column 3 of a header row starts with this, directly followed by the
// function text, whose first two characters are the code.
const QLatin1String functionPrefix("Function:");

enum Column { PollColumn, AddressColumn, ValueColumn, DescriptionColumn, ColumnCount };

bool isCoilWrite(int function)
{
    return function == 5 || function == 15;
}

// Sets a cell without itemChanged, which would store the text again.
void setCellQuietly(QTreeWidgetItem *item, int column, const QString &text)
{
    const QSignalBlocker blocker(item->treeWidget());
    item->setText(column, text);
}

} // namespace

const QColor PollTable::LightBlock(240, 240, 240);
const QColor PollTable::DarkBlock(220, 220, 220);

PollTable::PollTable(QTreeWidget *tree, const std::array<QByteArray, MaxPolls> &responses)
    : m_tree(tree)
    , m_responses(responses)
{
    m_tree->setColumnWidth(PollColumn, 50);
    // Sorting by the column-0 text would put poll 12 before poll 3 and move
    // item rows away from their item index, where an edit is stored.
    m_tree->setSortingEnabled(false);
}

QTreeWidgetItem *PollTable::buildPollBlock(int index, const QColor &colour) const
{
    if (index < 0 || index >= MaxPolls)
        return nullptr;
    const Poll &poll = PollStore[size_t(index)];
    const int function = decimalValue(poll.function);

    auto *header = new QTreeWidgetItem;
    header->setText(PollColumn, QString::number(index + 1));
    header->setText(ValueColumn, m_functions.coil(function) ? QStringLiteral("ON/OFF")
                                                            : m_types.name(decimalValue(poll.val2)));
    header->setText(DescriptionColumn, functionPrefix + m_functions.text(function));
    header->setTextAlignment(ValueColumn, Qt::AlignCenter);
    const QBrush headerBrush(colour);
    for (int column = 0; column < ColumnCount; ++column)
        header->setBackground(column, headerBrush);

    // Light set on even rows, dark on odd ones; the value column tells read
    // from write functions.
    const bool write = m_functions.write(function);
    const QVariant backgrounds[2][3] = {
        {QBrush(QColor(235, 210, 210)), QBrush(write ? QColor(255, 235, 210) : QColor(210, 235, 210)),
         QBrush(QColor(235, 235, 235))},
        {QBrush(QColor(200, 180, 180)), QBrush(write ? QColor(225, 200, 180) : QColor(180, 200, 180)),
         QBrush(QColor(200, 200, 200))},
    };
    const QVariant centred(int(Qt::AlignCenter));
    const Qt::ItemFlags flags = header->flags() | Qt::ItemIsEditable;

    const QList<PollItem> rows = pollItems(poll, m_responses[size_t(index)], m_types);
    QList<QTreeWidgetItem *> items;
    items.reserve(rows.size());
    for (int i = 0; i < rows.size(); ++i) {
        auto *item = new QTreeWidgetItem;
        item->setFlags(flags);
        item->setText(AddressColumn, QString::number(rows.at(i).address));
        item->setText(ValueColumn, rows.at(i).value);
        item->setText(DescriptionColumn, rows.at(i).description);
        for (int column = AddressColumn; column < ColumnCount; ++column) {
            item->setData(column, Qt::BackgroundRole, backgrounds[i % 2][column - AddressColumn]);
            item->setData(column, Qt::TextAlignmentRole, centred);
        }
        items.append(item);
    }
    header->addChildren(items);
    return header;
}

void PollTable::refreshPoll(int index)
{
    for (int position = 0; position < m_tree->topLevelItemCount(); ++position) {
        const QTreeWidgetItem *old = m_tree->topLevelItem(position);
        if (old->text(PollColumn).toInt() != index + 1)
            continue;
        QTreeWidgetItem *block = buildPollBlock(index, old->background(PollColumn).color());
        if (!block)
            return;
        const bool expanded = old->isExpanded();
        delete m_tree->takeTopLevelItem(position);
        m_tree->insertTopLevelItem(position, block);
        block->setExpanded(expanded);
        return;
    }
}

void PollTable::showSinglePoll(int index)
{
    m_tree->clear();
    if (QTreeWidgetItem *block = buildPollBlock(index, LightBlock))
        m_tree->addTopLevelItem(block);
    m_tree->expandAll();
}

void PollTable::showSequence(const QList<int> &numbers)
{
    m_tree->clear();
    // Each poll once, in poll order. A number outside 1..99 (a hand-edited
    // sequence) has no poll to show.
    std::array<bool, MaxPolls> listed{};
    for (int number : numbers) {
        if (number >= 1 && number <= MaxPolls)
            listed[size_t(number - 1)] = true;
    }
    QList<QTreeWidgetItem *> blocks;
    for (int index = 0; index < MaxPolls; ++index) {
        if (listed[size_t(index)])
            blocks.append(buildPollBlock(index, blocks.size() % 2 == 0 ? LightBlock : DarkBlock));
    }
    m_tree->addTopLevelItems(blocks);
}

void PollTable::openEditor(QTreeWidgetItem *item, int column)
{
    // Only item rows (children of a header row) are edited.
    if (!item || !item->parent() || item->parent()->parent() || !(item->flags() & Qt::ItemIsEditable))
        return;
    if (column == DescriptionColumn) {
        m_tree->editItem(item, column);
    } else if (column == ValueColumn) {
        // Values are typed only for write functions; read ones show the reply.
        const int function = item->parent()->text(DescriptionColumn).mid(functionPrefix.size(), 2).toInt();
        if (m_functions.write(function))
            m_tree->editItem(item, column);
    }
}

bool PollTable::storeEdit(QTreeWidgetItem *item, int column)
{
    if (!item || (column != ValueColumn && column != DescriptionColumn))
        return false;
    QTreeWidgetItem *header = item->parent();
    if (!header || header->parent())
        return false;
    // The block's own poll, not the one selected in the editor: in sequence
    // mode the table shows several polls and the edit belongs to the row's.
    Poll *poll = pollNumber(header->text(PollColumn).toInt());
    if (!poll)
        return false;
    const int function = decimalValue(poll->function);

    if (column == ValueColumn) {
        // A read poll's value cells show its reply and hold nothing to store.
        if (!m_functions.write(function))
            return false;
        if (isCoilWrite(function) && item->text(column) != QLatin1String("1"))
            setCellQuietly(item, column, QStringLiteral("0"));
    }

    // The lists hold val1 elements; a row past them (a count raised by hand)
    // stores nothing and shows again what a redraw would, so the cell never
    // claims a value the poll does not hold.
    QStringList &list = column == ValueColumn ? poll->write : poll->desc;
    const int row = header->indexOfChild(item);
    if (row < 0 || row >= list.size()) {
        setCellQuietly(item, column, column == ValueColumn ? QStringLiteral("0") : QString());
        return false;
    }
    list[row] = item->text(column);
    return true;
}
