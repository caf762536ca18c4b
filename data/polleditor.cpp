#include "data/polleditor.h"

#include "data/datatypetable.h"
#include "data/decimaltext.h"
#include "data/functiontable.h"
#include "data/polltable.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>
#include <QStackedWidget>

namespace {

// Coil values above 1, negative numbers included, are no coil state.
bool aboveOne(const QString &value)
{
    return uint(decimalValue(value)) > 1;
}

} // namespace

PollEditor::PollEditor(const Widgets &widgets, const FunctionTable &functions, const DataTypeTable &types,
                       PollTable &table, std::array<QByteArray, MaxPolls> &responses,
                       std::function<bool()> displayOn, int &currentPoll)
    : w(widgets)
    , functions(functions)
    , types(types)
    , table(table)
    , responses(responses)
    , displayOn(std::move(displayOn))
    , currentPoll(currentPoll)
{}

int PollEditor::selected() const
{
    return w.spinBox->value();
}

Poll &PollEditor::selectedPoll() const
{
    // The selector's range is 1..99, so the poll always exists.
    return *pollNumber(selected());
}

void PollEditor::refreshSelected()
{
    if (displayOn())
        table.refreshPoll(selected() - 1);
}

void PollEditor::showSelected()
{
    if (displayOn())
        table.showSinglePoll(selected() - 1);
}

void PollEditor::loadPollEditor(int number)
{
    const Poll *source = pollNumber(number);
    if (!source)
        return;
    currentPoll = number;
    const Poll poll = *source;
    m_loaded = false;

    w.descEdit->setText(poll.polldesc);
    w.slaveaddr->setValue(decimalValue(poll.slave));
    w.startaddr->setValue(decimalValue(poll.startaddr));
    w.spinAddrPerItem->setValue(decimalValue(poll.addrperitem));
    const int function = decimalValue(poll.function);
    w.fucnum->setCurrentIndex(functions.index(function));

    const bool coils = functions.coil(function);
    w.addressType->setText(coils ? QStringLiteral("Coil Addr") : QStringLiteral("Reg Addr"));
    w.spinName->setText(coils ? QStringLiteral("# of Coils") : QStringLiteral("# of Items"));

    const auto showCount = [this](bool count, bool typed) {
        w.stackedWidget->setCurrentIndex(1);
        w.numreg->setVisible(count);
        w.datatype->setVisible(typed);
        w.ordercombo->setVisible(typed);
    };
    switch (function) {
    case 1:
    case 2:
        showCount(true, false);
        w.numreg->setValue(decimalValue(poll.val1));
        break;
    case 3:
    case 4:
    case 16:
        showCount(true, true);
        w.numreg->setValue(decimalValue(poll.val1));
        w.datatype->setCurrentIndex(decimalValue(poll.val2));
        fillOrderCombo(poll.val3);
        break;
    case 5: {
        // A single coil has no count, type or order: the empty page.
        const int page = decimalValue(poll.val1);
        w.stackedWidget->setCurrentIndex(page == 0 || page == 1 ? page : 0);
        break;
    }
    case 6:
        showCount(false, true);
        w.datatype->setCurrentIndex(decimalValue(poll.val2));
        fillOrderCombo(poll.val3);
        break;
    case 15:
        showCount(true, false);
        w.numreg->setValue(poll.write.size());
        break;
    default:
        break;
    }

    showSelected();
    m_loaded = true;
}

void PollEditor::fillOrderCombo(const QString &wanted)
{
    const QStringList orders = types.orders(decimalValue(selectedPoll().val2));
    w.ordercombo->clear();
    w.ordercombo->addItems(orders);
    const int index = w.ordercombo->findText(wanted);
    w.ordercombo->setCurrentIndex(index >= 0 ? index : 0);
    selectedPoll().val3 = w.ordercombo->currentText();
}

void PollEditor::pollSelected(int number, bool sequenceMode)
{
    loadPollEditor(number);
    if (Poll *poll = pollNumber(number))
        poll->val3 = w.ordercombo->currentText();
    if (displayOn()) {
        if (sequenceMode)
            table.refreshPoll(number - 1);
        else
            table.showSinglePoll(number - 1);
    }
}

void PollEditor::slaveChanged(int value)
{
    if (!m_loaded)
        return;
    selectedPoll().slave = QString::number(value);
    refreshSelected();
}

void PollEditor::functionChanged()
{
    if (!m_loaded)
        return;
    const int code = w.fucnum->currentText().leftRef(2).toInt(nullptr, 10);
    selectedPoll().function = QString::number(code);
    loadPollEditor(selected());

    Poll &poll = selectedPoll();
    switch (code) {
    case 1:
    case 2:
    case 3:
    case 4:
    case 16:
        // The value first, then the maximum: a count above the new maximum is
        // clamped, and the clamp is stored through the count handler.
        w.numreg->setValue(decimalValue(poll.val1));
        w.numreg->setMaximum(code <= 2 ? MaxCoilCount : code == 16 ? 60 : 125);
        break;
    case 5:
        if (!poll.write.isEmpty() && aboveOne(poll.write.first()))
            poll.write.first() = QStringLiteral("0");
        showSelected();
        break;
    case 15:
        for (QString &value : poll.write) {
            if (aboveOne(value))
                value = QStringLiteral("0");
        }
        showSelected();
        break;
    default:
        break;
    }
}

void PollEditor::startAddressChanged(int value)
{
    if (!m_loaded)
        return;
    selectedPoll().startaddr = QString::number(value);
    // Values read from the old address would now stand at the wrong rows.
    responses[size_t(selected() - 1)].clear();
    refreshSelected();
    loadPollEditor(selected());
}

void PollEditor::timesEight()
{
    // The box clamps at its maximum; its change handler does the rest.
    w.startaddr->setValue(w.startaddr->value() * 8);
}

void PollEditor::countChanged(int count)
{
    if (!m_loaded)
        return;
    Poll &poll = selectedPoll();
    const int function = decimalValue(poll.function);
    // 5, 6 and codes from a hand-edited file have no count to store.
    if ((function >= 1 && function <= 4) || function == 15 || function == 16)
        poll.val1 = QString::number(count);
    // Both lists follow the count; the description list is the measure, as
    // the two are kept the same length.
    while (poll.desc.size() > count) {
        poll.desc.removeLast();
        if (!poll.write.isEmpty())
            poll.write.removeLast();
    }
    while (poll.desc.size() < count) {
        poll.desc.append(QStringLiteral(""));
        poll.write.append(QStringLiteral("0"));
    }
    refreshSelected();
}

void PollEditor::typeChanged(int index)
{
    if (!m_loaded)
        return;
    selectedPoll().val2 = QString::number(index);
    fillOrderCombo(w.ordercombo->currentText());
    showSelected();
}

void PollEditor::orderChanged(const QString &order)
{
    if (!m_loaded)
        return;
    selectedPoll().val3 = order;
    showSelected();
}

void PollEditor::addressesPerItemChanged(int value)
{
    if (!m_loaded)
        return;
    selectedPoll().addrperitem = QString::number(value);
    refreshSelected();
}

void PollEditor::descriptionEdited()
{
    selectedPoll().polldesc = w.descEdit->text();
}
