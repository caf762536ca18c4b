#pragma once

#include <QString>

// Where a name typed into the browsers may lead. A typed name may hold
// sub-folders ("a/b"), but never climbs out of the folder it is typed in.
namespace FolderPaths {

// The clean absolute path of name inside folder, or an empty text when name
// is empty, absolute, or would lead to folder itself or outside it.
QString childPath(const QString &folder, const QString &name);

// The part of a path after its last "/", and the part before it ("/" for a
// folder just below the root).
QString lastPart(const QString &path);
QString parentPart(const QString &path);

} // namespace FolderPaths
