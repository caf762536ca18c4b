#include "data/datatypetable.h"

DataTypeTable::DataTypeTable()
{
    const struct
    {
        const char *name;
        int byteSize;
    } rows[] = {
        {"uInt16", 2},   {"uInt32", 4},     {"Int64", 8},  {"Float32", 4},
        {"Double64", 8}, {"SpecialInt", 4}, {"String", 2},
    };
    for (const auto &row : rows)
        m_entries.append({QString::fromLatin1(row.name), row.byteSize, ordersForSize(row.byteSize)});
}

QStringList DataTypeTable::ordersForSize(int bytes)
{
    switch (bytes) {
    case 2:
        return {QStringLiteral("10"), QStringLiteral("01")};
    case 4:
        return {QStringLiteral("3210"), QStringLiteral("0123"), QStringLiteral("1032"),
                QStringLiteral("2301")};
    case 8:
        return {QStringLiteral("76543210"), QStringLiteral("01234567")};
    default:
        return {};
    }
}

QStringList DataTypeTable::names() const
{
    QStringList list;
    for (const Entry &entry : m_entries)
        list.append(entry.name);
    return list;
}

QString DataTypeTable::name(int type) const
{
    return contains(type) ? m_entries.at(type).name : QString();
}

int DataTypeTable::byteSize(int type) const
{
    return contains(type) ? m_entries.at(type).byteSize : 0;
}

QStringList DataTypeTable::orders(int type) const
{
    return contains(type) ? m_entries.at(type).orders : QStringList();
}
