#pragma once

#include <QString>

// Writes a capture (the records of a capture file) to another file. The
// target is replaced atomically: it is either the complete copy or left as
// it was.
class CaptureFile
{
public:
    // Returns false with the reason in *error when the source cannot be
    // read or the target cannot be written. A target that is the source
    // itself is already saved.
    static bool copy(const QString &source, const QString &target, QString *error);
};
