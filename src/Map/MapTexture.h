#pragma once

#include <QImage>
#include <QString>
#include <QVector>

// One image shown as a GL texture in the map (a zone's floor plan, a node's
// top disk). The file is read when it is given, so that a bad file is
// reported at once; the upload happens later, from the map's drawing, with
// the map's context current, and only once per image.
class MapTexture
{
public:
    struct Prepared
    {
        QImage image; // what is uploaded
        float s = 0;  // part of the texture the picture covers, across
        float t = 0;  // and down
    };

    // Scales the picture down, keeping its proportions, until both sides fit
    // the largest power of two not above maxSize (the GL's limit) nor
    // Map::kMaxTextureSide, then pads it to power-of-two sides with the
    // picture in the top-left part when padToPowerOfTwo is set: the padded
    // texture never goes beyond that power of two.
    // The rows come out bottom first, as GL reads them, so the picture's top
    // edge is at texture coordinate t = 1.
    static Prepared prepare(const QImage &picture, int maxSize, bool padToPowerOfTwo);
    // The smallest power of two not below n (n >= 1).
    static int nextPowerOfTwo(int n);

    // Reads the picture (a huge one already scaled down); false when it
    // cannot be read. Either way the picture shown before is gone: a file
    // that cannot be read leaves no picture. An empty name clears the
    // texture.
    bool load(const QString &fileName);
    void clear();
    // Whether bind() has anything to do: a picture to upload or show, or an
    // old one to delete.
    bool hasPicture() const { return !m_picture.isNull() || m_name != 0; }
    // Size of the picture waiting for its upload (empty when none is).
    QSize pendingSize() const { return m_picture.size(); }

    // GL side, with the map's context current. Uploads a pending picture
    // (creating the texture name on first use), deletes a picture that was
    // cleared, and returns the name, 0 when there is nothing to show.
    unsigned int bind(bool padToPowerOfTwo, const char *source);
    unsigned int name() const { return m_name; }
    float s() const { return m_s; }
    float t() const { return m_t; }
    // Hands the texture name over for deletion and forgets it.
    unsigned int takeName();
    // GL side: deletes the texture now and forgets it.
    void release();
    // GL side: deletes textures handed over with takeName().
    static void deleteNames(const QVector<unsigned int> &names);

private:
    QImage m_picture;
    unsigned int m_name = 0;
    bool m_stale = false; // m_name holds a picture that is no longer wanted
    float m_s = 0;
    float m_t = 0;
};
