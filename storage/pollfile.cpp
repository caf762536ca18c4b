#include "storage/pollfile.h"

#include "app/pollstore.h"
#include "data/decimaltext.h"
#include "storage/settingsfile.h"

#include <QDomDocument>
#include <QFile>
#include <QFileInfo>
#include <QXmlStreamReader>

namespace {

const QString couldNotLoad = QStringLiteral("Couldn't Load File");
const QString invalidFile = QStringLiteral("Invalid file");

// Non-null on purpose: a loaded field that is empty is written back as start
// and end tag.
const QString emptyText = QStringLiteral("");

// Refused past 64 MiB: no real poll file is over 13 MB, and reading takes four times its size in memory.
constexpr qint64 maxPollFileBytes = 64 * 1024 * 1024;

// Refused deeper, as readXmlFile refuses it (QDom would overflow the stack); our files nest four levels.
constexpr int maxXmlDepth = 256;

constexpr int fieldCount = 10;
enum Field { PollDesc, Slave, Function, StartAddr, AddrPerItem, Val1, Val2, Val3, Write, Desc };
const char *const fieldNames[fieldCount] = {"polldesc", "slave", "function", "startaddr", "addrperitem",
                                            "val1",     "val2",  "val3",     "write",     "desc"};

// Length of the character at i if XML 1.0 can carry it, else 0.
int xmlCharLength(const QString &text, int i)
{
    const QChar c = text.at(i);
    if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate())
        return 2;
    const ushort u = c.unicode();
    const bool allowed =
        u == 0x9 || u == 0xA || u == 0xD || (u >= 0x20 && u < 0xD800) || (u >= 0xE000 && u <= 0xFFFD);
    return allowed ? 1 : 0;
}

// Drops what XML 1.0 cannot carry (controls, U+FFFE/FFFF, lone surrogates): saved, the file never loads.
QString xmlText(const QString &text)
{
    QString kept;
    bool dropped = false;
    for (int i = 0; i < text.size();) {
        const int length = xmlCharLength(text, i);
        if (length == 0 && !dropped) {
            dropped = true;
            kept = emptyText;
            kept.append(text.constData(), i);
        } else if (dropped) {
            kept.append(text.constData() + i, length);
        }
        i += qMax(length, 1);
    }
    return dropped ? kept : text;
}

void appendField(QDomDocument &document, QDomNode &parent, const QString &name, const QString &text)
{
    appendTextElement(document, parent, name, xmlText(text));
}

void appendList(QDomDocument &document, QDomNode &parent, const QString &name, const QStringList &list,
                const QString &whenEmpty)
{
    QDomNode element = appendTextElement(document, parent, name, QString());
    if (list.isEmpty())
        appendTextElement(document, element, "Val", whenEmpty);
    for (const QString &entry : list)
        appendField(document, element, "Val", entry);
}

bool xmlWhitespace(const QString &text)
{
    for (const QChar c : text) {
        if (c != ' ' && c != '\t' && c != '\n' && c != '\r')
            return false;
    }
    return true;
}

// What one pass over a well-formed file found; nothing is stored until the
// whole file has been read.
struct PollFileContent
{
    bool sequenceFirst = false; // node 0 of the root is an element "Sequence"
    QList<int> sequence;        // its entries up to the first bad one
    bool sequenceBroken = false;
    bool secondUsable = false; // node 1 is an element with slave, function, write
    std::vector<Poll> polls;   // nodes 1 to 99
};

// Reads a poll file in one pass of the stream reader, with the checks of
// readXmlFile (well-formed, no lone surrogate, at most 256 levels) and no DTD. readXmlFile would
// parse, print and have the load parse again: the largest realistic file took
// 1.6 s that way. The nodes are those QDom gives: elements, text (whitespace
// only is no node), CDATA, comments and processing instructions.
class PollFileReader
{
public:
    explicit PollFileReader(QIODevice *device)
        : m_reader(device)
    {}

    // False when the file is not well-formed, too deep or has a DTD.
    bool read(PollFileContent &content);

private:
    QXmlStreamReader::TokenType next();
    bool inside(QXmlStreamReader::TokenType token, int depth) const;
    QString nonElementText(QXmlStreamReader::TokenType token) const;
    void skipElement();
    QString elementText();
    QStringList childTexts();
    Poll pollElement(bool &usable);
    void addNode(PollFileContent &content, int index);

    QXmlStreamReader m_reader;
    int m_depth = 0;
};

QXmlStreamReader::TokenType PollFileReader::next()
{
    const QXmlStreamReader::TokenType token = m_reader.readNext();
    if (token == QXmlStreamReader::StartElement && ++m_depth > maxXmlDepth)
        m_reader.raiseError(QStringLiteral("nested too deep"));
    else if (token == QXmlStreamReader::EndElement)
        --m_depth;
    else if (token == QXmlStreamReader::DTD) // its entities could blow a small file up to gigabytes
        m_reader.raiseError(QStringLiteral("DTD"));
    else if (hasLoneSurrogate(m_reader.text()) || hasLoneSurrogate(m_reader.processingInstructionData()))
        m_reader.raiseError(QStringLiteral("lone surrogate"));
    return token;
}

// True until the end tag of the element that was open at depth, or an error.
bool PollFileReader::inside(QXmlStreamReader::TokenType token, int depth) const
{
    return token != QXmlStreamReader::Invalid && !(token == QXmlStreamReader::EndElement && m_depth < depth);
}

// The text of a CDATA section, comment or processing instruction (as QDom's
// nodeValue); null for the other tokens.
QString PollFileReader::nonElementText(QXmlStreamReader::TokenType token) const
{
    if (token == QXmlStreamReader::Characters || token == QXmlStreamReader::Comment)
        return m_reader.text().toString();
    if (token == QXmlStreamReader::ProcessingInstruction)
        return m_reader.processingInstructionData().toString();
    return QString();
}

void PollFileReader::skipElement()
{
    const int depth = m_depth;
    while (inside(next(), depth)) {
    }
}

// The element just started, read to its end: all text and CDATA within it,
// as QDomElement::text gives it. Never null.
QString PollFileReader::elementText()
{
    QString text;
    QString run;
    const int depth = m_depth;
    for (QXmlStreamReader::TokenType token = next(); inside(token, depth); token = next()) {
        if (token == QXmlStreamReader::Characters && !m_reader.isCDATA()) {
            run += m_reader.text();
            continue;
        }
        if (!xmlWhitespace(run))
            text += run;
        run.clear();
        if (token == QXmlStreamReader::Characters)
            text += m_reader.text();
    }
    if (!xmlWhitespace(run))
        text += run;
    return text.isNull() ? emptyText : text;
}

// The element just started, read to its end: the text of each child node.
QStringList PollFileReader::childTexts()
{
    QStringList texts;
    QString run;
    const int depth = m_depth;
    for (QXmlStreamReader::TokenType token = next(); inside(token, depth); token = next()) {
        if (token == QXmlStreamReader::Characters && !m_reader.isCDATA()) {
            run += m_reader.text();
            continue;
        }
        if (!xmlWhitespace(run))
            texts.append(run);
        run.clear();
        if (token == QXmlStreamReader::StartElement)
            texts.append(elementText());
        else if (const QString text = nonElementText(token); !text.isNull())
            texts.append(text);
    }
    if (!xmlWhitespace(run))
        texts.append(run);
    return texts;
}

// The poll element just started, read to its end; each field from the first
// child element of its name.
Poll PollFileReader::pollElement(bool &usable)
{
    QString texts[fieldCount];
    QStringList lists[fieldCount];
    bool found[fieldCount] = {};
    const int depth = m_depth;
    for (QXmlStreamReader::TokenType token = next(); inside(token, depth); token = next()) {
        if (token != QXmlStreamReader::StartElement)
            continue;
        const QStringRef name = m_reader.qualifiedName();
        int field = 0;
        while (field < fieldCount && name != QLatin1String(fieldNames[field]))
            ++field;
        if (field == fieldCount || found[field]) {
            skipElement();
            continue;
        }
        found[field] = true;
        if (field == Write || field == Desc)
            lists[field] = childTexts();
        else
            texts[field] = elementText();
    }
    usable = found[Slave] && found[Function] && found[Write];

    const auto orEmpty = [&](Field field) { return found[field] ? texts[field] : emptyText; };
    const auto orOne = [&](Field field) {
        return texts[field].isEmpty() ? QStringLiteral("1") : texts[field];
    };
    Poll poll;
    poll.polldesc = orEmpty(PollDesc);
    poll.slave = orOne(Slave);
    poll.function = orOne(Function);
    poll.startaddr = orEmpty(StartAddr);
    poll.addrperitem = found[AddrPerItem] ? texts[AddrPerItem] : QStringLiteral("1");
    poll.val1 = orEmpty(Val1);
    poll.val2 = orEmpty(Val2);
    poll.val3 = orEmpty(Val3);
    poll.write = lists[Write];
    if (found[Desc]) {
        poll.desc = lists[Desc];
    } else {
        // At most the editor's largest count: 99 polls of 65536 took gigabytes to save, too large to load.
        const int count = qBound(0, decimalValue(poll.val1), MaxCoilCount);
        poll.desc.reserve(count);
        for (int i = 0; i < count; ++i)
            poll.desc.append(emptyText);
    }
    return poll;
}

// A root child node that is no element: no Sequence, no usable first poll,
// and a poll with every field missing.
void PollFileReader::addNode(PollFileContent &content, int index)
{
    if (index < 1 || index > MaxPolls)
        return;
    Poll blank;
    blank.polldesc = blank.startaddr = blank.val1 = blank.val2 = blank.val3 = emptyText;
    blank.slave = blank.function = blank.addrperitem = QStringLiteral("1");
    content.polls.push_back(blank);
}

bool PollFileReader::read(PollFileContent &content)
{
    QXmlStreamReader::TokenType token = next();
    while (token != QXmlStreamReader::Invalid && token != QXmlStreamReader::StartElement)
        token = next();

    int index = 0; // of the root's child nodes
    QString run;
    for (token = next(); inside(token, 1); token = next()) {
        if (token == QXmlStreamReader::Characters && !m_reader.isCDATA()) {
            run += m_reader.text();
            continue;
        }
        if (!xmlWhitespace(run))
            addNode(content, index++);
        run.clear();
        if (token == QXmlStreamReader::StartElement) {
            if (index == 0 && m_reader.qualifiedName() == QLatin1String("Sequence")) {
                content.sequenceFirst = true;
                for (const QString &text : childTexts()) {
                    const int number = decimalValue(text);
                    content.sequenceBroken = content.sequenceBroken || number < 1 || number > MaxPolls;
                    if (!content.sequenceBroken)
                        content.sequence.append(number);
                }
            } else if (index >= 1 && index <= MaxPolls) {
                bool usable = false;
                content.polls.push_back(pollElement(usable));
                content.secondUsable = content.secondUsable || (index == 1 && usable);
            } else {
                // Poll nodes past the 99th have no record to go to.
                skipElement();
            }
            ++index;
        } else if (!nonElementText(token).isNull()) {
            addNode(content, index++);
        }
    }
    while (!m_reader.atEnd())
        next();
    return !m_reader.hasError();
}

} // namespace

void savePollFile(const QString &path)
{
    QDomDocument document;
    document.appendChild(document.createProcessingInstruction("xml", "version='1.0' encoding='UTF-8'"));
    QDomNode root = appendTextElement(document, document, "polls", QString());

    QDomNode sequence = appendTextElement(document, root, "Sequence", QString());
    for (const int number : qAsConst(Sequence))
        appendTextElement(document, sequence, "S", QString::number(number));

    for (int number = 1; number <= MaxPolls; ++number) {
        const Poll &poll = PollStore[number - 1];
        QDomNode element = appendTextElement(document, root, "Poll" + QString::number(number), QString());
        appendField(document, element, "polldesc", poll.polldesc);
        appendField(document, element, "slave", poll.slave);
        appendField(document, element, "function", poll.function);
        appendField(document, element, "startaddr", poll.startaddr);
        appendField(document, element, "addrperitem", poll.addrperitem);
        appendField(document, element, "val1", poll.val1);
        appendField(document, element, "val2", poll.val2);
        appendField(document, element, "val3", poll.val3);
        appendList(document, element, "write", poll.write, QStringLiteral("0"));
        appendList(document, element, "desc", poll.desc, emptyText);
    }

    writeTextFile(path, document.toString(1), false);
}

QString loadPollFile(const QString &path)
{
    const QFileInfo info(path);
    // Not a regular file: a device or a pipe would be read without end.
    if (!info.isFile() || info.size() > maxPollFileBytes)
        return couldNotLoad;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return couldNotLoad;
    PollFileContent content;
    if (!PollFileReader(&file).read(content))
        return couldNotLoad;

    Sequence.clear();
    if (!content.sequenceFirst)
        return invalidFile;
    Sequence = content.sequence;
    if (content.sequenceBroken || !content.secondUsable)
        return invalidFile;
    for (std::size_t i = 0; i < content.polls.size(); ++i)
        PollStore[i] = content.polls[i];
    return QString();
}
