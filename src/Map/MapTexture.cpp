#include "MapTexture.h"

#include "MapConstants.h"
#include "MapGlErrors.h"

#include <QImageReader>

#include <GL/gl.h>

#include <algorithm>

namespace {

int largestPowerOfTwoAtMost(int n)
{
    int p = 1;
    while (p <= n / 2)
        p *= 2;
    return p;
}

} // namespace

int MapTexture::nextPowerOfTwo(int n)
{
    int p = 1;
    while (p < n && p < (1 << 30))
        p *= 2;
    return p;
}

MapTexture::Prepared MapTexture::prepare(const QImage &picture, int maxSize, bool padToPowerOfTwo)
{
    Prepared out;
    if (picture.isNull() || maxSize < 1)
        return out;
    const int limit = largestPowerOfTwoAtMost(std::min(maxSize, Map::kMaxTextureSide));
    QImage scaled = picture;
    if (scaled.width() > limit || scaled.height() > limit)
        scaled = scaled.scaled(limit, limit, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    scaled = scaled.convertToFormat(QImage::Format_RGBA8888);
    if (!padToPowerOfTwo) {
        out.image = scaled.mirrored(false, true);
        out.s = 1.0f;
        out.t = 1.0f;
        return out;
    }
    const int w = nextPowerOfTwo(scaled.width());
    const int h = nextPowerOfTwo(scaled.height());
    out.s = float(scaled.width()) / float(w);
    out.t = float(scaled.height()) / float(h);
    QImage padded(w, h, QImage::Format_RGBA8888);
    padded.fill(Qt::transparent);
    for (int y = 0; y < scaled.height(); ++y)
        std::copy_n(scaled.constScanLine(y), scaled.bytesPerLine(), padded.scanLine(y));
    // GL's first row is the bottom one: the picture's top ends up at t = 1.
    out.image = padded.mirrored(false, true);
    return out;
}

bool MapTexture::load(const QString &fileName)
{
    clear();
    if (fileName.isEmpty())
        return true;
    QImageReader reader(fileName);
    // A huge plan would only be scaled down at upload; held until then at
    // the size it is shown, not at the size of the file.
    const QSize size = reader.size();
    if (size.width() > Map::kMaxTextureSide || size.height() > Map::kMaxTextureSide)
        reader.setScaledSize(size.scaled(Map::kMaxTextureSide, Map::kMaxTextureSide, Qt::KeepAspectRatio));
    QImage picture = reader.read();
    if (picture.isNull())
        return false;
    m_picture = picture;
    return true;
}

void MapTexture::clear()
{
    m_picture = QImage();
    if (m_name != 0)
        m_stale = true;
}

unsigned int MapTexture::bind(bool padToPowerOfTwo, const char *source)
{
    if (m_stale && m_picture.isNull()) {
        GLuint name = m_name;
        glDeleteTextures(1, &name);
        m_name = 0;
        m_s = 0;
        m_t = 0;
    }
    // A new picture for an old name reuses the name.
    m_stale = false;
    if (m_picture.isNull())
        return m_name;
    GLint maxSize = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxSize);
    const Prepared prepared = prepare(m_picture, maxSize > 0 ? maxSize : 1024, padToPowerOfTwo);
    m_picture = QImage();
    if (prepared.image.isNull())
        return m_name;
    glPushAttrib(GL_TEXTURE_BIT | GL_ENABLE_BIT);
    glPushClientAttrib(GL_CLIENT_PIXEL_STORE_BIT);
    glEnable(GL_TEXTURE_2D);
    if (m_name == 0) {
        GLuint name = 0;
        glGenTextures(1, &name);
        m_name = name;
    }
    glBindTexture(GL_TEXTURE_2D, m_name);
    MapGlErrors::report(source, __LINE__);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    MapGlErrors::report(source, __LINE__);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, prepared.image.width(), prepared.image.height(), 0, GL_RGBA,
                 GL_UNSIGNED_BYTE, prepared.image.constBits());
    MapGlErrors::report(source, __LINE__);
    glPopClientAttrib();
    glPopAttrib();
    m_s = prepared.s;
    m_t = prepared.t;
    return m_name;
}

unsigned int MapTexture::takeName()
{
    const unsigned int name = m_name;
    m_name = 0;
    m_stale = false;
    return name;
}

void MapTexture::release()
{
    const GLuint name = takeName();
    if (name != 0)
        glDeleteTextures(1, &name);
}

void MapTexture::deleteNames(const QVector<unsigned int> &names)
{
    for (const GLuint name : names)
        glDeleteTextures(1, &name);
}
