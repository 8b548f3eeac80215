// File operations of the folder tree and what they need of names: move or copy one item into a
// folder (with a progress dialog when it takes long), make a new folder, rename one. Each refuses
// rather than overwrite; the caller shows the refusal to the user.
//
// Paths are kept as QStrings that map back to the file system's bytes exactly: names that are
// valid UTF-8 read as usual, and each byte that is not becomes the code unit U+DC80 + (byte -
// 0x80), never a valid character. Such strings go to the system only through PathBytes.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <string>

class QWidget;

namespace pt4 {

QString PathFromBytes(const QByteArray& bytes);
QByteArray PathBytes(const QString& path);
inline std::string StdPath(const QString& path)
{
    return PathBytes(path).toStdString();
}
// The text a name is shown with: the system's local 8-bit decoding, as Qt reads file names.
QString DisplayName(const QString& name);
// file:// address of a path, whatever its bytes.
QUrl UrlOfPath(const QString& path);
// The path of a file:// address, whatever its bytes; empty when it is no local file.
QString PathOfUrl(const QUrl& url);

bool IsFolder(const QString& path);
bool ItemExists(const QString& path); // a dangling link counts
bool CanWrite(const QString& path);

// Names of the folders in path (links to folders included), hidden ones ("." first) only when
// asked; unsorted.
QStringList SubfolderNames(const QString& path, bool hidden);
bool HasSubfolder(const QString& path, bool hidden);

// What TransferInto did.
struct TTransferOutcome {
    bool done = false;
    bool cancelled = false;
    QString message;           // why not, or what was left out; empty when there is nothing to say
    bool plainRefusal = false; // message is the tree's own refusal ("InvokeCommand failed!")
};

// Moves (or copies) the file or folder source into the folder targetFolder, keeping its name:
// all checks first, a rename within one file system, otherwise a copy on a worker thread with a
// progress dialog over parent that can cancel; the source goes only when the copy is whole.
TTransferOutcome TransferInto(QWidget* parent, const QString& source, const QString& targetFolder, bool copy);

// Moves the item at path to the desktop's trash. Names that are not UTF-8 go to the home
// trash (same file system only), as Qt's trash does not take them.
bool MoveItemToTrash(const QString& path);

// Creates a new folder in parentDir: "新しいフォルダー", or "新しいフォルダー (2)" and so on when
// taken. Returns its path, or empty on failure.
QString CreateNewFolder(const QString& parentDir);

// Renames the folder at path to newName in the same parent. Returns the new path, or empty when
// the name is empty, has a slash, is "." or "..", is taken, or the rename fails.
QString RenameFolder(const QString& path, const QString& newName);

} // namespace pt4
