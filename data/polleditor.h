#pragma once

#include "app/pollstore.h"

#include <QByteArray>
#include <QString>

#include <array>
#include <functional>

class DataTypeTable;
class FunctionTable;
class PollTable;
class QComboBox;
class QLabel;
class QLineEdit;
class QSpinBox;
class QStackedWidget;

// The "POLL" group of the main window: loads one poll into its controls and
// writes every change straight back into that poll, keeping its write and
// description lists as long as its count and its byte order one of its type's.
class PollEditor
{
public:
    struct Widgets
    {
        QSpinBox *spinBox;
        QSpinBox *slaveaddr;
        QComboBox *fucnum;
        QSpinBox *startaddr;
        QSpinBox *numreg;
        QComboBox *datatype;
        QComboBox *ordercombo;
        QSpinBox *spinAddrPerItem;
        QLineEdit *descEdit;
        QLabel *addressType;
        QLabel *spinName;
        QStackedWidget *stackedWidget;
    };

    PollEditor(const Widgets &widgets, const FunctionTable &functions, const DataTypeTable &types,
               PollTable &table, std::array<QByteArray, MaxPolls> &responses, std::function<bool()> displayOn,
               int &currentPoll);

    // True once the controls show the selected poll; the change handlers
    // store into the poll only then.
    bool editorLoaded() const { return m_loaded; }

    void loadPollEditor(int number);
    void fillOrderCombo(const QString &wanted);

    // The change handlers, one per control.
    void pollSelected(int number, bool sequenceMode);
    void slaveChanged(int value);
    void functionChanged();
    void startAddressChanged(int value);
    void timesEight();
    void countChanged(int count);
    void typeChanged(int index);
    void orderChanged(const QString &order);
    void addressesPerItemChanged(int value);
    void descriptionEdited();

private:
    int selected() const;
    Poll &selectedPoll() const;
    void refreshSelected();
    void showSelected();

    Widgets w;
    const FunctionTable &functions;
    const DataTypeTable &types;
    PollTable &table;
    std::array<QByteArray, MaxPolls> &responses;
    std::function<bool()> displayOn;
    int &currentPoll;
    bool m_loaded = false;
};
