#include "MapGlErrors.h"

#include "MapConstants.h"
#include "MapLog.h"

#include <GL/gl.h>

QString MapGlErrors::name(unsigned int code)
{
    switch (code) {
    case 0x0500:
        return QStringLiteral("INVALID_ENUM");
    case 0x0501:
        return QStringLiteral("INVALID_VALUE");
    case 0x0502:
        return QStringLiteral("INVALID_OPERATION");
    case 0x0505:
        return QStringLiteral("OUT_OF_MEMORY");
    case 0x0506:
        return QStringLiteral("INVALID_FRAMEBUFFER_OPERATION");
    default:
        return QString();
    }
}

int MapGlErrors::report(const char *source, int line)
{
    int count = 0;
    for (; count < Map::kMaxGlErrorsReported; ++count) {
        const GLenum error = glGetError();
        if (error == GL_NO_ERROR)
            break;
        qCDebug(lcMap).noquote() << QStringLiteral("GL_%1 - %2:%3").arg(name(error), QLatin1String(source)).arg(line);
    }
    return count;
}
