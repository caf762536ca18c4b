#pragma once

#include <QString>

// The rules the file browser applies to a typed poll file name. Only the
// lower-case ".xml" counts, and the type is everything after the first ".",
// so a name with more than one "." (and with it any "..") is refused.
namespace XmlFileName {

// The name with ".xml" appended, unless it already holds ".xml" anywhere.
QString completed(const QString &name);

// The part after the first "."; empty when there is no ".".
QString fileType(const QString &name);

// True when the file type is exactly "xml".
bool hasXmlType(const QString &name);

// The name cut at its last "." (the whole name when it has none).
QString withoutExtension(const QString &name);

} // namespace XmlFileName
