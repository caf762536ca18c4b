#pragma once

#include "app/pollstore.h"
#include "modbus/connectionsettings.h"

#include <QByteArray>
#include <QDate>
#include <QString>
#include <QStringList>
#include <QTime>

// The texts of the on-screen message log (newest entry on top) and of the
// daily report file of failed polls.
namespace MessageLog {

// Above this many characters the log is cut back when a reply or error enters.
constexpr int TrimLength = 3000;

QString separator(int poll);
// "(hh:mm:ss.zzz) Sent: " and each request byte followed by a space.
QString sentEntry(const QTime &time, const QStringList &hexBytes);
// Separator, then every received byte, CRC included.
QString responseEntry(int poll, const QTime &time, const QByteArray &bytes);
// Separator, then the error text; errors carry the time without milliseconds.
QString errorEntry(int poll, const QString &timeText, const QString &error);

// The error of a request whose line never became ready.
QString lineError(bool serial);

// The log with a reply or error entry put on top: when the old text was
// longer than TrimLength, 3000 characters from position 3000 are dropped.
QString withEntry(const QString &log, const QString &entry);

// The first line of a report record: "Poll N at TIME Error: ERROR.\n".
QString reportHeadline(int pollNumber, const QString &timeText, const QString &error);
// The four lines appended to the report file for one failed poll.
QString reportRecord(int pollNumber, const QString &timeText, const QString &error, const Poll &poll,
                     const ConnectionSettings &connection);
// Appends the record of a failed poll to the day's report file in the
// logging folder; a file that cannot be written is skipped silently.
void appendReport(int pollNumber, const QString &timeText, const QString &error);

// The report file of a day: folder + "/" + the date as text ("Fri Dec 4 2026") + ".txt".
QString reportFileName(const QString &folder, const QDate &date);

} // namespace MessageLog
