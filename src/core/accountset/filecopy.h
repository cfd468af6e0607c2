#pragma once

#include <QString>

namespace zt::accountset {

// Where a file copy shows its progress (the page's progress bar).
class CopyProgress
{
public:
    virtual ~CopyProgress() = default;
    // Shows the bar at position 0.
    virtual void start() = 0;
    virtual void setRange(qint64 maximum) = 0;
    virtual void setPosition(qint64 position) = 0;
};

// The progress unit of a copy: the bar moves in steps of this many bytes.
inline constexpr qint64 CopyBlock = 11;

// Copies source byte for byte to a newly created target, showing its progress. The unit of
// progress is the 11-byte step: data move in chunks that are whole multiples of it, so every
// position the bar takes is one an 11-byte loop would take too. The data go to a temporary
// file beside the target ("<target>.<process id>.part"), which is synced and renamed to the
// target only when complete; a copy that fails removes it. Throws data::DataError naming the
// file and the system's reason on any file error.
void copyFile(const QString &source, const QString &target, CopyProgress *progress);

} // namespace zt::accountset
