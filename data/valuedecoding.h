#pragma once

#include "app/pollstore.h"

#include <QByteArray>
#include <QStringList>

class DataTypeTable;

// No more coils than a 16-bit address space holds are ever shown; a
// hand-edited count beyond that is cut here.
constexpr int MaxCoilValues = 65536;

// The value texts of a poll, one per item: decoded from the data part of its
// last reply for read functions, its own write values for write functions.
QStringList pollValues(const Poll &poll, const QByteArray &data, const DataTypeTable &types);

// A number as the value column shows it: general format, 6 significant digits.
QString formatFloat(double value);
