#include "windows/xmlfilename.h"

namespace XmlFileName {

namespace {
const QLatin1String xmlSuffix(".xml");
}

QString completed(const QString &name)
{
    return name.contains(xmlSuffix) ? name : name + xmlSuffix;
}

QString fileType(const QString &name)
{
    const int dot = name.indexOf(QLatin1Char('.'));
    return dot < 0 ? QString() : name.mid(dot + 1);
}

bool hasXmlType(const QString &name)
{
    return fileType(name) == QLatin1String("xml");
}

QString withoutExtension(const QString &name)
{
    const int dot = name.lastIndexOf(QLatin1Char('.'));
    return dot < 0 ? name : name.left(dot);
}

} // namespace XmlFileName
