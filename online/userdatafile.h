#pragma once
// The user's small data file: a QDataStream (default version, no header)
// holding one QString, the download folder. Nothing else of the user is kept
// on disk.

#include <QString>
#include <optional>

namespace online {

// The configuration folder the file lives in (created on first use, then
// remembered for the life of the process).
QString userConfigFolder();
// folder + "/qzpr.x" ("/qzpr-inter.x" in the international edition).
QString defaultUserDataFilePath();

// The stored download folder; nullopt when the file is missing, unreadable,
// truncated or not a data file of ours. A stored null string reads back as a
// null QString.
std::optional<QString> readUserDataFile(const QString& path);

// Replaces the file atomically (temporary file, fsync, rename); true when it
// is on disk.
bool writeUserDataFile(const QString& path, const QString& saveFolder);

}  // namespace online
