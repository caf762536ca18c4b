#include "modbus/runoutput.h"

#include "modbus/messagelog.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

QString hexText(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes.toHex(' ').toUpper());
}

QString csvField(QString text)
{
    if (!text.contains(QLatin1Char(',')) && !text.contains(QLatin1Char('"'))
        && !text.contains(QLatin1Char('\n')) && !text.contains(QLatin1Char('\r')))
        return text;
    return QLatin1Char('"') + text.replace(QLatin1Char('"'), QLatin1String("\"\"")) + QLatin1Char('"');
}

QString tableRow(const QStringList &cells)
{
    return QStringLiteral("%1 %2 %3 %4 %5 %6 %7")
               .arg(cells.value(0), -12)
               .arg(cells.value(1), 4)
               .arg(cells.value(2), 5)
               .arg(cells.value(3), 4)
               .arg(cells.value(4), 8)
               .arg(cells.value(5), -20)
               .arg(cells.value(6))
               .trimmed()
           + QLatin1Char('\n');
}

} // namespace

RunOutput::RunOutput(Format format, bool raw, FILE *out, FILE *err)
    : format(format)
    , raw(raw)
    , out(out)
    , err(err)
{}

void RunOutput::write(FILE *file, const QString &text)
{
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), file);
}

void RunOutput::header()
{
    if (format == Format::Table)
        write(out, tableRow({QStringLiteral("Time"), QStringLiteral("Poll"), QStringLiteral("Slave"),
                             QStringLiteral("Func"), QStringLiteral("Address"), QStringLiteral("Value"),
                             QStringLiteral("Description")}));
    else if (format == Format::Csv)
        write(out, QStringLiteral("time,poll,slave,function,address,value,description,error\n"));
}

void RunOutput::result(const PollResult &result)
{
    const Poll *poll = pollNumber(result.poll);
    const QString slave = poll ? poll->slave : QString();
    const QString function = poll ? poll->function : QString();
    // The raw lines are the message log's, oldest first. Beside CSV or JSON
    // they go to stderr, so stdout stays one format a program can read.
    if (raw) {
        FILE *rawFile = format == Format::Table ? out : err;
        write(rawFile, MessageLog::sentEntry(result.sent.time(), result.request.hex));
        write(rawFile,
              result.ok ? MessageLog::responseEntry(result.poll, result.answered.time(), result.reply)
                        : MessageLog::errorEntry(result.poll, result.answered.time().toString(Qt::TextDate),
                                                 result.error));
    }
    if (format == Format::Table)
        table(result, slave, function);
    else if (format == Format::Csv)
        csv(result, slave, function);
    else
        json(result, slave, function);
    std::fflush(out);
    if (!result.ok) {
        write(err, MessageLog::reportHeadline(result.poll, result.answered.time().toString(Qt::TextDate),
                                              result.error));
        std::fflush(err);
    }
}

void RunOutput::table(const PollResult &result, const QString &slave, const QString &function)
{
    const QString time = result.answered.time().toString(QStringLiteral("hh:mm:ss.zzz"));
    const QString poll = QString::number(result.poll);
    if (!result.ok) {
        write(out, tableRow({time, poll, slave, function, QStringLiteral("-"), QStringLiteral("ERROR"),
                             result.error.trimmed()}));
        return;
    }
    QString rows;
    for (const PollItem &item : result.items)
        rows += tableRow(
            {time, poll, slave, function, QString::number(item.address), item.value, item.description});
    write(out, rows);
}

void RunOutput::csv(const PollResult &result, const QString &slave, const QString &function)
{
    const QString start = result.answered.toString(Qt::ISODateWithMs) + QLatin1Char(',')
                          + QString::number(result.poll) + QLatin1Char(',') + csvField(slave)
                          + QLatin1Char(',') + csvField(function) + QLatin1Char(',');
    if (!result.ok) {
        write(out, start + QStringLiteral(",,,") + csvField(result.error.trimmed()) + QLatin1Char('\n'));
        return;
    }
    QString rows;
    for (const PollItem &item : result.items)
        rows += start + QString::number(item.address) + QLatin1Char(',') + csvField(item.value)
                + QLatin1Char(',') + csvField(item.description) + QStringLiteral(",\n");
    write(out, rows);
}

void RunOutput::json(const PollResult &result, const QString &slave, const QString &function)
{
    QJsonArray items;
    for (const PollItem &item : result.items)
        items.append(QJsonObject{{QStringLiteral("address"), item.address},
                                 {QStringLiteral("value"), item.value},
                                 {QStringLiteral("description"), item.description}});
    const QJsonObject object{
        {QStringLiteral("poll"), result.poll},
        {QStringLiteral("time"), result.answered.toString(Qt::ISODateWithMs)},
        {QStringLiteral("slave"), slave},
        {QStringLiteral("function"), function},
        {QStringLiteral("ok"), result.ok},
        {QStringLiteral("error"), result.error.trimmed()},
        {QStringLiteral("sent"), hexText(result.request.bytes)},
        {QStringLiteral("received"), hexText(result.reply)},
        {QStringLiteral("items"), items},
    };
    write(out, QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact)) + QLatin1Char('\n'));
}

void RunOutput::frame(int poll, const Request &request)
{
    const QString hex = hexText(request.bytes);
    if (format == Format::Json)
        write(out, QString::fromUtf8(QJsonDocument(QJsonObject{{QStringLiteral("poll"), poll},
                                                               {QStringLiteral("sent"), hex}})
                                         .toJson(QJsonDocument::Compact))
                       + QLatin1Char('\n'));
    else if (format == Format::Csv)
        write(out, QString::number(poll) + QLatin1Char(',') + hex + QLatin1Char('\n'));
    else
        write(out, QStringLiteral("Poll ") + QString::number(poll) + QStringLiteral(": ") + hex
                       + QLatin1Char('\n'));
}

void RunOutput::summary(int polls, int valid, int errors)
{
    std::fflush(out);
    write(err, QStringLiteral("polls %1, valid %2, errors %3\n").arg(polls).arg(valid).arg(errors));
    std::fflush(err);
}
