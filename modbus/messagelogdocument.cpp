#include "modbus/messagelogdocument.h"

#include "modbus/messagelog.h"

#include <QTextCursor>
#include <QTextDocument>

namespace MessageLog {

void insertEntry(QTextDocument *document, const QString &entry, bool trim)
{
    const int oldLength = document->characterCount() - 1; // without the final separator
    QTextCursor cursor(document);
    cursor.beginEditBlock();
    cursor.movePosition(QTextCursor::Start);
    cursor.insertText(entry);
    if (trim && oldLength > TrimLength) {
        const int end = qMin(2 * TrimLength, document->characterCount() - 1);
        cursor.setPosition(TrimLength);
        cursor.setPosition(end, QTextCursor::KeepAnchor);
        cursor.removeSelectedText();
    }
    cursor.endEditBlock();
}

} // namespace MessageLog
