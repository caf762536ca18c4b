#include "storage/settingsfile.h"

#include "modbus/connectionsettings.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QTextStream>
#include <QXmlStreamReader>

namespace {

// Deeper nesting is refused: QDom recurses, and 6,000 levels overflow the stack (ours nest 4).
constexpr int maxXmlDepth = 256;

// A settings file past 1 MiB is not ours (ours is under 1 KB; 50 MB took a gigabyte to read).
constexpr qint64 maxSettingsBytes = 1024 * 1024;

constexpr int freeRecentSlots = 5;

// Non-null on purpose: an empty text is written back as start and end tag.
const QString emptyText = QStringLiteral("");

// The stream reader keeps its open tags on the heap, so it measures the depth
// safely before QDom sees the bytes. Whatever it rejects as not well-formed is
// refused too: QDom must never parse further than the depth check went.
bool shallowAndWellFormed(const QByteArray &bytes)
{
    QXmlStreamReader reader(bytes);
    int depth = 0;
    while (!reader.atEnd()) {
        const QXmlStreamReader::TokenType token = reader.readNext();
        if (token == QXmlStreamReader::StartElement && ++depth > maxXmlDepth)
            return false;
        // A DTD is refused: ours carry none, and its entities can blow a file up to gigabytes.
        if (token == QXmlStreamReader::DTD)
            return false;
        if (hasLoneSurrogate(reader.text()) || hasLoneSurrogate(reader.processingInstructionData()))
            return false;
        if (token == QXmlStreamReader::EndElement)
            --depth;
    }
    return !reader.hasError();
}

QString readSettingsXml(const QString &path)
{
    if (QFileInfo(path).size() > maxSettingsBytes)
        return QString();
    return readXmlFile(path);
}

QStringList freeSlots()
{
    QStringList list;
    while (list.size() < freeRecentSlots)
        list.append(emptyText);
    return list;
}

// The text of a child node: an element's text content, or the data of a text
// node, so a stray text inside recentfiles still counts as an entry.
QString nodeText(const QDomNode &node)
{
    const QString text = node.isElement() ? node.toElement().text() : node.nodeValue();
    return text.isNull() ? emptyText : text;
}

int number(const QDomElement &root, const QString &name)
{
    return root.firstChildElement(name).text().toInt(nullptr, 10);
}

QString text(const QDomElement &root, const QString &name)
{
    return nodeText(root.firstChildElement(name));
}

QString flag(bool set)
{
    return set ? QStringLiteral("1") : QStringLiteral("0");
}

} // namespace

QStringList recentFiles = freeSlots();

QString settingsFolder()
{
    return QDir::homePath() + "/.quarvel";
}

QString settingsFilePath()
{
    return settingsFolder() + "/pollwright-settings.xml";
}

QString olderSettingsFilePath()
{
    return settingsFolder() + "/veltrane-settings.xml";
}

void loadSettings()
{
    QString xml = readSettingsXml(settingsFilePath());
    if (xml.isEmpty())
        xml = readSettingsXml(olderSettingsFilePath());
    if (xml.isEmpty()) {
        recentFiles = freeSlots();
        return;
    }

    QDomDocument document;
    document.setContent(xml);
    const QDomElement root = document.documentElement();

    Connection.portName = text(root, "port");
    Connection.baudRate = number(root, "baud");
    Connection.dataBits = number(root, "data");
    Connection.flowControl = number(root, "flow");
    Connection.parity = number(root, "parity");
    Connection.stopBits = number(root, "stop");
    Connection.ipAddress = text(root, "ethernet");
    Connection.connectOnce = number(root, "connectonce") != 0;
    Connection.tcpPort = number(root, "portnumber");
    Connection.serialMode = number(root, "isserial") != 0;
    Connection.loggingOn = number(root, "logenabled") != 0;
    Connection.logFolder = text(root, "logpath");
    if (Connection.logFolder.isEmpty())
        Connection.loggingOn = false;

    recentFiles.clear();
    const QDomElement recent = root.firstChildElement("recentfiles");
    for (QDomNode node = recent.firstChild(); !node.isNull(); node = node.nextSibling())
        recentFiles.append(nodeText(node));
    while (recentFiles.size() < freeRecentSlots)
        recentFiles.append(emptyText);
}

void saveSettings()
{
    const QString folder = settingsFolder();
    if (!QFileInfo::exists(folder))
        QDir().mkdir(folder);

    QDomDocument document;
    document.appendChild(document.createProcessingInstruction("xml", "version='1.0' encoding='UTF-8'"));
    QDomNode root = appendTextElement(document, document, "settings", QString());

    appendTextElement(document, root, "port", Connection.portName);
    appendTextElement(document, root, "baud", QString::number(Connection.baudRate));
    appendTextElement(document, root, "data", QString::number(Connection.dataBits));
    appendTextElement(document, root, "flow", QString::number(Connection.flowControl));
    appendTextElement(document, root, "parity", QString::number(Connection.parity));
    appendTextElement(document, root, "stop", QString::number(Connection.stopBits));
    appendTextElement(document, root, "ethernet", Connection.ipAddress);
    appendTextElement(document, root, "connectonce", flag(Connection.connectOnce));
    appendTextElement(document, root, "portnumber", QString::number(Connection.tcpPort));
    appendTextElement(document, root, "isserial", flag(Connection.serialMode));
    appendTextElement(document, root, "logenabled", flag(Connection.loggingOn));
    appendTextElement(document, root, "logpath", Connection.logFolder);

    QDomNode recent = appendTextElement(document, root, "recentfiles", QString());
    for (int i = 0; i < recentFiles.size(); ++i)
        appendTextElement(document, recent, "recent" + QString::number(i + 1), recentFiles.at(i));

    writeTextFile(settingsFilePath(), document.toString(1), false);
}

QString readXmlFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    const QByteArray bytes = file.readAll();
    if (!shallowAndWellFormed(bytes))
        return QString();
    QDomDocument document;
    if (!document.setContent(bytes))
        return QString();
    return document.toString(1);
}

bool hasLoneSurrogate(QStringView text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text.at(i).isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate())
            ++i;
        else if (text.at(i).isSurrogate())
            return true;
    }
    return false;
}

void writeTextFile(const QString &path, const QString &text, bool append)
{
    if (append) {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Text | QIODevice::Append))
            return;
        QTextStream stream(&file);
        stream.setCodec("UTF-8");
        stream << text;
        return;
    }

    // The new file replaces the old only when complete, so a full disk or a crash keeps the old one.
    QSaveFile file(path);
    file.setDirectWriteFallback(true);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text))
        return;
    QTextStream stream(&file);
    stream.setCodec("UTF-8");
    stream << text;
    stream.flush();
    file.commit();
}

QDomElement appendTextElement(QDomDocument &document, QDomNode &parent, const QString &name,
                              const QString &text)
{
    QDomElement element = document.createElement(name);
    parent.appendChild(element);
    if (!text.isNull())
        element.appendChild(document.createTextNode(text));
    return element;
}
