#pragma once

#include <QString>

class QTextDocument;

namespace MessageLog {

// Puts an entry on top of the on-screen log, editing the document in place
// rather than setting its whole text again: the lines that stay keep their
// layout, which keeps each entry cheap. With trim the result is the text
// withEntry gives; without, the entry is simply put in front.
void insertEntry(QTextDocument *document, const QString &entry, bool trim);

} // namespace MessageLog
