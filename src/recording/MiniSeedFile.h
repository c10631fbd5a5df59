#pragma once

#include <QString>

#include <functional>

// The records of one miniSEED file, in order, read through a buffer of a read chunk and a record
// at most (records are 128 bytes to 1 MiB long), so that any file size may be walked. Only a
// regular file is read: a FIFO or a device could block or never end. Any thread.
namespace MiniSeedFile {

enum class Scan {
    Read,         // every record was visited
    NotMiniSeed,  // the file does not start with a record, or is not a regular file
    Failed,       // a record is cut short or followed by something else, reading failed, or
                  // the visitor said stop
};
// Is handed a record's bytes (which it may change), their count and the record's byte offset in
// the file; returns false, with the error set, to stop.
using Visit = std::function<bool(char *record, int length, qint64 offset)>;

// Hands every record of the file at `path` to `visit`. But for Read, `error` says why, naming
// the file (and the byte offset of a bad record), file bytes in it escaped.
Scan forEachRecord(const QString &path, const Visit &visit, QString *error);
// True when `path` is a regular file that starts with a record; reads a few hundred bytes.
bool startsWithRecord(const QString &path);

}  // namespace MiniSeedFile
