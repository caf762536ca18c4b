#include "modbus/messagelog.h"

#include "storage/settingsfile.h"

namespace MessageLog {

QString separator(int poll)
{
    return QString(34, QLatin1Char('-')) + QStringLiteral("Poll:") + QString::number(poll)
           + QString(50, QLatin1Char('-')) + QLatin1Char('\n');
}

QString sentEntry(const QTime &time, const QStringList &hexBytes)
{
    QString entry =
        QLatin1Char('(') + time.toString(QStringLiteral("hh:mm:ss.zzz")) + QStringLiteral(") Sent: ");
    for (const QString &byte : hexBytes)
        entry += byte + QLatin1Char(' ');
    return entry + QLatin1Char('\n');
}

QString responseEntry(int poll, const QTime &time, const QByteArray &bytes)
{
    QString entry = separator(poll) + QLatin1Char('(') + time.toString(QStringLiteral("hh:mm:ss.zzz"))
                    + QStringLiteral(") Response:");
    entry.reserve(entry.size() + 3 * bytes.size() + 1);
    for (const char byte : bytes)
        entry += QLatin1Char(' ') + QString::asprintf("%02X", quint8(byte));
    return entry + QLatin1Char('\n');
}

QString errorEntry(int poll, const QString &timeText, const QString &error)
{
    return separator(poll) + QLatin1Char('(') + timeText + QStringLiteral(") Response:") + error
           + QLatin1Char('\n');
}

QString lineError(bool serial)
{
    return serial ? QStringLiteral("Couldn't connect to serial port")
                  : QStringLiteral("Couldn't connect to port to send message.");
}

QString withEntry(const QString &log, const QString &entry)
{
    QString text = entry + log;
    if (log.size() > TrimLength)
        text.remove(TrimLength, TrimLength);
    return text;
}

QString reportHeadline(int pollNumber, const QString &timeText, const QString &error)
{
    return QStringLiteral("Poll ") + QString::number(pollNumber) + QStringLiteral(" at ") + timeText
           + QStringLiteral(" Error: ") + error + QStringLiteral(".\n");
}

QString reportRecord(int pollNumber, const QString &timeText, const QString &error, const Poll &poll,
                     const ConnectionSettings &connection)
{
    QString record = reportHeadline(pollNumber, timeText, error);
    record += QStringLiteral("Slave: ") + poll.slave + QStringLiteral(" / Function: ") + poll.function
              + QStringLiteral(" / Address: ") + poll.startaddr + QLatin1Char('\n');
    if (connection.serialMode)
        record += QStringLiteral("Port: ") + connection.portName + QLatin1Char('\n');
    else
        record += QStringLiteral("Ip: ") + connection.ipAddress + QStringLiteral(" / Port: ")
                  + QString::number(connection.tcpPort) + QLatin1Char('\n');
    return record + QString(74, QLatin1Char('/')) + QLatin1Char('\n');
}

QString reportFileName(const QString &folder, const QDate &date)
{
    return folder + QLatin1Char('/') + date.toString(Qt::TextDate) + QStringLiteral(".txt");
}

void appendReport(int pollNumber, const QString &timeText, const QString &error)
{
    const Poll *poll = ::pollNumber(pollNumber);
    writeTextFile(reportFileName(Connection.logFolder, QDate::currentDate()),
                  reportRecord(pollNumber, timeText, error, poll ? *poll : Poll(), Connection), true);
}

} // namespace MessageLog
