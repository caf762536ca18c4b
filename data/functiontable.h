#pragma once

#include <QString>
#include <QStringList>
#include <QVector>

// The eight Modbus function codes a poll may use, with the facts the reply
// check needs. Lookups by a code that is not in the table answer a neutral
// value (empty text, index 0, false, 0) instead of reading outside it.
class FunctionTable
{
public:
    struct Entry
    {
        int code;
        QString text;
        bool coil;
        bool write;
        int replyBaseLength;
        int byteCountIndex;
    };

    FunctionTable();

    int count() const { return m_entries.size(); }
    QStringList texts() const;

    QString text(int code) const;
    int index(int code) const;
    bool coil(int code) const;
    bool write(int code) const;
    int replyBaseLength(int code) const;
    int byteCountIndex(int code) const;

    // Code of the entry at a combo box index; 0 outside the table.
    int codeAt(int index) const;

private:
    const Entry *find(int code) const;

    QVector<Entry> m_entries;
};
