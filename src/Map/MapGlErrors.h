#pragma once

#include <QString>

// Reports pending GL errors by name on the map's log.
class MapGlErrors
{
public:
    // "INVALID_ENUM" for 0x0500 and so on; an empty text for other codes.
    static QString name(unsigned int code);
    // Reads glGetError until it says no error (at most a bounded number of
    // times: without a current context it never does) and logs
    // "GL_<name> - <source>:<line>" for each. Returns the number of errors.
    static int report(const char *source, int line);
};
