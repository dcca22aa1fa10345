#pragma once
// The file a download is written into before it is complete. It sits in the
// download folder itself (so the final rename stays on one file system), is
// created exclusively under a hidden name that carries the writing process's
// id, and only a complete, verified transfer is renamed to the package's
// name. A process killed mid-transfer leaves such a file behind; the next
// process to download into that folder removes the ones whose writer is dead.

#include <QSet>
#include <QString>
#include <optional>
#include <sys/types.h>

namespace online {

// ".korvane-part-<pid>-<random>": hidden, and never a name a server can give
// (safeFileName drops leading dots).
extern const char* const kPartialFilePrefix;

struct PartialFile {
    int fd = -1;  // open for writing; the caller owns it
    QString path;
    int error = 0;  // errno when fd < 0
};

// Creates a new partial file in folder (O_EXCL, never following a link, mode
// 0666 minus the umask).
PartialFile createPartialFile(const QString& folder);

// The writer's process id of a partial file name; nullopt for any other name.
std::optional<pid_t> partialFileOwner(const QString& fileName);

// Removes the regular partial files in folder that belong to this user and to
// a process that no longer exists (or to this process while not in
// ownFilesInUse). Touches nothing else. Returns how many were removed.
int removeStalePartialFiles(const QString& folder, const QSet<QString>& ownFilesInUse);

}  // namespace online
