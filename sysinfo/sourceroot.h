#pragma once
// Bounded reading of the kernel's and the firmware's files under a root folder.
// Everything read here is device- or firmware-controlled: sizes are capped,
// only regular files are read (never a FIFO or a device that could block), and
// links that lead out of the root are not followed.

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace sysinfo {

// The machine's root, or KORVANE_SYSINFO_ROOT when set (fixture machines).
QString defaultSourceRoot();

enum class SourceStatus {
    Ok,
    Absent, // not there, or not readable by this user: an empty answer
    Broken, // there, but not what it must be (a folder for a file, an I/O error)
};

struct SourceRead {
    SourceStatus status = SourceStatus::Absent;
    QByteArray bytes;
    int error = 0; // errno for Broken
};

struct SourceListing {
    SourceStatus status = SourceStatus::Absent;
    QStringList names; // sorted, at most the asked-for count
    int error = 0;
};

class SourceRoot {
public:
    explicit SourceRoot(const QString& root);

    const QString& root() const { return m_root; }
    // The full path of a path given relative to the root ("proc/cpuinfo").
    QString path(const QString& relative) const;

    SourceRead read(const QString& relative, qint64 maxBytes) const;
    // An attribute's text: empty on any failure, trimmed, control characters
    // blanked, cut at the first NUL.
    QString text(const QString& relative, int maxBytes = 256) const;
    // The entries of a folder (no "." and ".."), capped.
    SourceListing list(const QString& relative, int maxEntries = 1024) const;

    bool exists(const QString& relative) const;
    // Where a link-laden path really leads, relative to the root; empty when it
    // does not exist or leads outside the root.
    QString resolve(const QString& relative) const;
    // The last component of a link's target ("virtio_net" for .../driver).
    QString linkName(const QString& relative) const;

    // Throws WMICException for a Broken result; an absent source is fine.
    static void requireReadable(SourceStatus status, int error);

private:
    QString m_root; // no trailing slash ("" for "/")
    QString m_canonical; // canonical form of the root, for containment checks
};

// Device text made safe for display: invalid UTF-8 replaced, cut at NUL and at
// maxBytes, control characters blanked, outer spaces removed.
QString cleanText(const QByteArray& bytes, int maxBytes = 256);

// A non-negative decimal or 0x-prefixed number, or the fallback when the text
// is not one (or does not fit).
quint64 parseNumber(const QString& text, quint64 fallback = 0);

} // namespace sysinfo
