#pragma once
// What a file on disk is at one moment: its identity (device and inode) and
// its last change (modification time to the nanosecond and size). A save
// renames a new file over the old, so another program's save changes the
// identity even where the clock is coarse.
#include <QString>
#include <QtGlobal>

struct TFileStamp {
    bool Exists = false;
    quint64 Device = 0, Inode = 0;
    qint64 MTimeNs = 0, Size = 0;

    // The file path leads to (links followed, as a save through a link
    // replaces the file it leads to); Exists false when there is none.
    static TFileStamp Of(const QString &path);
    bool operator==(const TFileStamp &) const = default;
};
