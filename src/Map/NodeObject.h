#pragma once

#include "AbstractObject.h"
#include "MapTexture.h"
#include "PositionHistory.h"
#include "TrailReducer.h"

#include <QColor>
#include <QString>

#include <cstdint>
#include <vector>

class GlyphBatch;
class LineBatch;
struct MapFrameContext;

// The glyph of one node in the map: a sphere with a cylinder and a top disk
// (or a flat arrow showing its heading), its label, and the trail of the
// positions it has been seen at.
class NodeObject : public AbstractObject
{
    Q_OBJECT

public:
    explicit NodeObject(QObject *parent = nullptr);

    QColor color() const { return m_color; }
    void setColor(const QColor &color) { m_color = color; }
    uint64_t id() const { return m_id; }
    // Stores the id; an empty label becomes "..." and the last four digits of
    // the id in upper-case hexadecimal.
    void setId(uint64_t id);
    double height() const { return m_height; }
    void setHeight(double height) { m_height = height; }
    double radius() const { return m_radius; }
    void setRadius(double radius) { m_radius = radius; }
    QString label() const { return m_label; }
    void setLabel(const QString &label) { m_label = label; }
    QString mode() const { return m_mode; }
    void setMode(const QString &mode);
    bool isTag() const { return m_isTag; }
    int selectionNumber() const { return m_selectionNumber; }
    void setSelectionNumber(int number) { m_selectionNumber = number; }

    // Moves the glyph and adds the position to the history.
    void setPosition(double x, double y, double z);
    // Turns the glyph by minus the heading (degrees) about z.
    void setHeading(double degrees);
    // Whether the node was ever placed; a glyph that never was is not drawn.
    bool isPlaced() const { return m_placed; }
    const PositionHistory &history() const { return m_history; }
    void clearHistory();

    // The picture on the top disk; read now, uploaded at the next draw.
    QString image() const { return m_image; }
    // False when the file cannot be read. The same name again does nothing.
    bool setImage(const QString &fileName);

    static QString labelFor(uint64_t id);

    // Adds the glyph at its floor-spread place (an arrow in arrow mode) to
    // the frame's batch, at a level of detail fit for its size on screen,
    // and its label request when labels are on and it is readable.
    void appendGlyph(GlyphBatch &batch, unsigned int flags, const MapFrameContext &frame);
    // Adds the newest positions of the trail, as stored, leaving out those
    // that reducer finds within a pixel of the point before; nothing when
    // the trail lies wholly off screen. The points kept are reduced again
    // only when the trail or the view changed.
    void appendTrail(LineBatch &batch, int historySize, TrailReducer &reducer);
    // The trail's points as last reduced, x y z each.
    const std::vector<float> &reducedTrail() const { return m_trail.points; }
    bool hasTexture() const { return m_texture.hasPicture(); }
    // GL, with the map's context current: the picture on the top disk.
    void drawTexturedDisk(const MapFrameContext &frame);
    // GL: the box round the glyph at its floor-spread place, for picking.
    void drawPickBox(const MapFrameContext &frame) const;
    void releaseGL();
    unsigned int takeTextureName() { return m_texture.takeName(); }

signals:
    void nodeObjectMovedSignal();

public slots:
    void loadTexture(const char *filename);

private:
    // The trail as the last frames drew it.
    struct TrailCache
    {
        uint64_t version = 0; // of the history it was made from
        int historySize = -1;
        double lo[3] = {};
        double hi[3] = {};
        bool reduced = false; // points are those of version, historySize and view
        TrailReducer::View view;
        double tolerance = -1;
        std::vector<float> points;
    };

    qglviewer::Vec drawnPosition(const MapFrameContext &frame) const;
    // Calls point(x, y, z) for the newest count positions, oldest first.
    template<typename Point>
    void forEachTrailPoint(int count, Point &&point) const;

    QColor m_color;
    uint64_t m_id = 0;
    double m_height;
    double m_radius;
    QString m_label;
    QString m_mode;
    int m_selectionNumber = 0;
    MapTexture m_texture;
    PositionHistory m_history;
    uint64_t m_historyVersion = 1;
    TrailCache m_trail;
    QString m_image;
    bool m_isTag = false;
    bool m_placed = false;
};
