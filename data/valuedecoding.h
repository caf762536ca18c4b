#pragma once

#include "app/pollstore.h"

#include <QByteArray>
#include <QList>
#include <QStringList>

class DataTypeTable;

// No more coils than a 16-bit address space holds are ever shown; a
// hand-edited count beyond that is cut here.
constexpr int MaxCoilValues = 65536;

// The value texts of a poll, one per item: decoded from the data part of its
// last reply for read functions, its own write values for write functions.
QStringList pollValues(const Poll &poll, const QByteArray &data, const DataTypeTable &types);

// One item row of a poll: its address (start address + index * addresses
// per item, 64-bit since hand-edited fields may overflow an int), its value
// text ("0" where the reply held too little) and its description.
struct PollItem
{
    qint64 address = 0;
    QString value;
    QString description;
};

// The item rows of a poll, as the poll table shows them: one for functions
// 5 and 6, else its count, cut to what a 16-bit address space of coils holds.
QList<PollItem> pollItems(const Poll &poll, const QByteArray &data, const DataTypeTable &types);

// A number as the value column shows it: general format, 6 significant digits.
QString formatFloat(double value);
