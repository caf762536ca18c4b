#include "data/functiontable.h"

namespace {

struct Row
{
    const char *text;
    bool coil;
    bool write;
    int replyBaseLength;
    int byteCountIndex;
};

// clang-format off
const Row rows[] = {
    {"01 - Read Coil Status", true, false, 3, 2},
    {"02 - Read Input Coil", true, false, 3, 2},
    {"03 - Read Holding Reg", false, false, 3, 2},
    {"04 - Read Input Reg", false, false, 3, 2},
    {"05 - Force Single Coil", true, true, 6, -1},
    {"06 - Preset Single Register", false, true, 6, -1},
    {"15 - Force Multiple Coils", true, true, 6, -1},
    {"16 - Write Reg", false, true, 6, -1},
};
// clang-format on

} // namespace

FunctionTable::FunctionTable()
{
    for (const Row &row : rows) {
        const QString text = QString::fromLatin1(row.text);
        // The code is whatever the text's first two digits say, so the two can never disagree.
        const int code = text.leftRef(2).toInt(nullptr, 10);
        m_entries.append({code, text, row.coil, row.write, row.replyBaseLength, row.byteCountIndex});
    }
}

QStringList FunctionTable::texts() const
{
    QStringList list;
    for (const Entry &entry : m_entries)
        list.append(entry.text);
    return list;
}

const FunctionTable::Entry *FunctionTable::find(int code) const
{
    for (const Entry &entry : m_entries) {
        if (entry.code == code)
            return &entry;
    }
    return nullptr;
}

QString FunctionTable::text(int code) const
{
    const Entry *entry = find(code);
    return entry ? entry->text : QString();
}

int FunctionTable::index(int code) const
{
    const Entry *entry = find(code);
    return entry ? int(entry - m_entries.constData()) : 0;
}

bool FunctionTable::coil(int code) const
{
    const Entry *entry = find(code);
    return entry && entry->coil;
}

bool FunctionTable::write(int code) const
{
    const Entry *entry = find(code);
    return entry && entry->write;
}

int FunctionTable::replyBaseLength(int code) const
{
    const Entry *entry = find(code);
    return entry ? entry->replyBaseLength : 0;
}

int FunctionTable::byteCountIndex(int code) const
{
    const Entry *entry = find(code);
    return entry ? entry->byteCountIndex : 0;
}

int FunctionTable::codeAt(int index) const
{
    return index >= 0 && index < m_entries.size() ? m_entries.at(index).code : 0;
}
