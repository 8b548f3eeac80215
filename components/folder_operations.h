// File operations of the folder tree: move or copy one item into a folder, make a new folder,
// rename one. Each refuses rather than overwrite: the caller reports a refusal to the user.
#pragma once

#include <QString>

namespace pt4 {

// Moves (or copies) the file or folder source into the folder targetDir, keeping its name.
// Refused when an item of that name is there already, when a folder would go into itself, or
// when the file system fails; a move across file systems copies and then removes the source.
bool MoveOrCopyInto(const QString& source, const QString& targetDir, bool copy);

// Creates a new folder in parentDir: "新しいフォルダー", or "新しいフォルダー (2)" and so on when
// taken. Returns its path, or empty on failure.
QString CreateNewFolder(const QString& parentDir);

// Renames the folder at path to newName in the same parent. Returns the new path, or empty when
// the name is empty, has a slash, is "." or "..", is taken, or the rename fails.
QString RenameFolder(const QString& path, const QString& newName);

} // namespace pt4
