#pragma once

#include <QString>

#include <functional>

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

// A path from the environment or a file, made absolute against the working
// folder and cleaned; empty stays empty.
QString absolute(const QString &path);

// The path itself, made absolute, or the nearest folder above it that usable
// accepts; "/" when none does. Ends for any path: every step is shorter.
QString nearestFolder(const QString &path, const std::function<bool(const QString &)> &usable);

} // namespace FolderPaths
