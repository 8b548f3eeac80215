// Moving and copying a file or folder into another folder with plain system calls, so that the
// user's files are complete at one place or the other whatever happens.
//
// Plan does every check before anything changes: the item is there, the target folder is a
// folder that is not (after resolving links) the item itself or inside it, no item of that name
// is there, a move may take the item out of its folder and does not take a mounted volume, and
// a copy fits on the target file system. Within one file system a move is one rename(2).
// Otherwise Run copies everything first (data flushed and its size checked, links recreated as
// they are, permissions and modification times kept, named pipes, devices and sockets never
// opened) and, for a move, removes the source only when the copy is whole. A failed or cancelled
// copy is removed again and the source stays as it was.
//
// Paths are the file system's own bytes; nothing here assumes an encoding.
#pragma once

#include <atomic>
#include <cstdint>
#include <ctime>
#include <string>
#include <sys/types.h>
#include <vector>

namespace pt4 {

enum class TTransferError {
    tteNone,
    tteSourceMissing,   // path: the item
    tteTargetNotFolder, // path: the target folder
    tteIntoItself,      // path: the target folder
    tteNameTaken,       // path: the item of that name in the target
    tteSourceLocked,    // path: the folder whose contents cannot change (a move)
    tteMountPoint,      // path: the mounted volume (a move)
    tteSpecialFile,     // path: a named pipe, device or socket a move would leave behind
    tteUnreadable,      // path: a file or folder that cannot be read
    tteNoRoom,          // path: the target folder; bytesNeeded and bytesFree say how far off
    tteWriteFailed,     // path: the file or folder being written
    tteRemoveFailed,    // path: the source item that could not be removed (the copy is whole)
    tteMoveFailed,      // path: the item rename(2) refused
    tteCancelled,
};

// What went wrong, and where.
struct TTransferFailure {
    TTransferError error = TTransferError::tteNone;
    std::string path;
    int systemError = 0; // errno, when the system said why
    std::uint64_t bytesNeeded = 0;
    std::uint64_t bytesFree = 0;
};

// Progress of a running copy, read by another thread; cancel asks the copy to stop.
struct TTransferProgress {
    std::atomic<std::uint64_t> bytesDone{0};
    std::atomic<std::uint64_t> bytesTotal{0};
    std::atomic<bool> cancel{false};
};

// One item found under the source, in the order it is created (a folder before its contents).
struct TTransferEntry {
    enum class TKind { tkFolder, tkFile, tkLink, tkSpecial };
    TKind kind;
    std::string relative; // below the source; empty for the source itself
    mode_t mode;
    uid_t owner;
    gid_t group;
    std::uint64_t size;
    timespec accessed;
    timespec modified;
};

struct TTransferPlan {
    std::string source; // as given, without a trailing slash
    std::string target; // the folder path plus the item's name
    bool copy = false;
    bool rename = false; // a move within one file system
    std::vector<TTransferEntry> entries;
    std::vector<std::string> specialFiles; // full paths of what a copy leaves out
    std::uint64_t bytesTotal = 0;
};

// Checks everything and returns the plan; failure.error says why there is none.
TTransferPlan PlanTransfer(const std::string& source, const std::string& targetFolder, bool copy,
                           TTransferFailure& failure);

// Carries out a plan. With a failure or a cancel nothing of the copy is left behind and the
// source is untouched; the return value says whether everything was done.
bool RunTransfer(const TTransferPlan& plan, TTransferProgress& progress, TTransferFailure& failure);

// Removes a file, link or folder with everything below it, without following links. False
// names the first item left behind in failedPath.
bool RemoveTree(const std::string& path, std::string& failedPath);

} // namespace pt4
