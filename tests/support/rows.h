#pragma once

#include "app/pollstore.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QtTest>

// Tables of cases kept as data: a tab-separated file under tests/data whose
// first line names the columns and whose first column names the row. Lines
// starting with '#' are comments. Cells take the escapes of a JSON string:
// \n, \r, \t, \\, \uXXXX (a lone surrogate too) and so on.
// Columns whose name starts with '=' are expected results; a test compares
// its own results, in the same order, with expected().

inline QString dataPath(const QString &name)
{
    return QStringLiteral(TEST_DATA "/") + name;
}

inline QStringList rowColumns;

inline QString unescaped(QString text)
{
    // A quote in a cell is text, not the string's end.
    const QByteArray json = "[\"" + text.replace('"', "\\\"").toUtf8() + "\"]";
    return QJsonDocument::fromJson(json).array().at(0).toString();
}

inline void addRows(const QString &name)
{
    QFile file(dataPath(name));
    QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(file.fileName()));
    QStringList lines = QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts);
    lines = lines.filter(QRegularExpression("^[^#]"));
    static QByteArrayList names; // QTest keeps pointers to the column names
    rowColumns = lines.takeFirst().split('\t');
    for (const QString &column : qAsConst(rowColumns))
        QTest::addColumn<QString>((names << column.toUtf8()).last().constData());
    for (const QString &line : qAsConst(lines)) {
        const QStringList cells = line.split('\t');
        QTestData &row = QTest::newRow(qPrintable(cells.first()));
        for (int i = 0; i < rowColumns.size(); ++i) {
            const QString text = unescaped(cells.value(i));
            // A cell that is no JSON string reads as empty: a typo must not blank a case.
            QVERIFY2(!text.isEmpty() || cells.value(i).isEmpty(),
                     qPrintable(name + ": a bad escape in row " + cells.first()));
            row << text;
        }
    }
}

// The current row's cell; a null text for a column the file does not have.
inline QString cell(const char *column)
{
    if (!rowColumns.contains(QLatin1String(column)))
        return QString();
    return *static_cast<QString *>(QTest::qData(column, QMetaType::QString));
}

// The current row's expected results, in the order of their columns.
inline QStringList expected()
{
    QStringList results;
    for (const QString &column : qAsConst(rowColumns))
        if (column.startsWith('='))
            results << cell(qPrintable(column));
    return results;
}

// Results as texts, to compare with expected(): numbers in decimal, true and false.
template<typename... T>
QStringList texts(const T &...values)
{
    return {QVariant(values).toString()...};
}

// Lists are written with their length first: "0:" is empty, "1:" one empty
// text, "2:a,b" two texts.
inline QStringList listOf(const QString &text)
{
    const int colon = text.indexOf(':');
    return text.left(colon).toInt() == 0 ? QStringList() : text.mid(colon + 1).split(',');
}

inline QString textOf(const QStringList &list)
{
    return QString::number(list.size()) + ':' + list.join(',');
}

inline QList<int> numbersOf(const QString &text)
{
    QList<int> numbers;
    for (const QString &number : listOf(text))
        numbers << number.toInt();
    return numbers;
}

// A poll as "polldesc|slave|function|startaddr|addrperitem|val1|val2|val3|write|desc"; "~" is a null text.
inline Poll pollOf(const QString &record)
{
    QStringList f = record.split('|');
    for (QString &field : f)
        field = field == "~" ? QString() : field;
    return {f.value(0), f.value(1), f.value(4), f.value(2),         f.value(3),
            f.value(5), f.value(6), f.value(7), listOf(f.value(8)), listOf(f.value(9))};
}

// A poll from the current row's columns named as its fields.
inline Poll pollOfColumns()
{
    return {cell("polldesc"),      cell("slave"),       cell("addrperitem"), cell("function"),
            cell("startaddr"),     cell("val1"),        cell("val2"),        cell("val3"),
            listOf(cell("write")), listOf(cell("desc"))};
}

inline QString recordOf(const Poll &p)
{
    return texts(p.polldesc, p.slave, p.function, p.startaddr, p.addrperitem, p.val1, p.val2, p.val3,
                 textOf(p.write), textOf(p.desc))
        .join('|');
}
