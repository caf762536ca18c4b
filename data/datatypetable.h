#pragma once

#include <QString>
#include <QStringList>
#include <QVector>

// The seven data types register contents are shown and written in, indexed as
// a poll's val2 and the datatype combo box. An index outside the table has an
// empty name, a byte size of 0 and no byte orders, so callers can never read
// past it; they treat such a poll as having nothing to decode or encode.
class DataTypeTable
{
public:
    enum Type { UInt16, UInt32, Int64, Float32, Double64, SpecialInt, String };

    DataTypeTable();

    int count() const { return m_entries.size(); }
    QStringList names() const;

    QString name(int type) const;
    int byteSize(int type) const;
    QStringList orders(int type) const;

    // The byte orders offered for an item of the given size (2, 4 or 8 bytes;
    // none for any other size). The first one is the default.
    static QStringList ordersForSize(int bytes);

private:
    struct Entry
    {
        QString name;
        int byteSize;
        QStringList orders;
    };

    bool contains(int type) const { return type >= 0 && type < m_entries.size(); }

    QVector<Entry> m_entries;
};
