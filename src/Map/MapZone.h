#pragma once

#include "CubeVolume.h"
#include "MapTexture.h"

#include <QColor>
#include <QJsonObject>
#include <QPointer>
#include <QSet>
#include <QString>
#include <QVector>

#include <cstdint>

class MapScene;
class MapNodeSource;
class RtlsObject;

// A box in the site with a type, a name and an image: drawn as a floor plan,
// a storage outline or a machine outline, coloured by how many tags stand in
// it, and sending its "on_enter"/"on_exit" commands to the masters when a
// tag walks in or out.
class MapZone : public CubeVolume
{
    Q_OBJECT
    Q_PROPERTY(bool show READ show WRITE setShow NOTIFY showChanged)
    Q_PROPERTY(qulonglong id READ id WRITE setID)
    Q_PROPERTY(QString name READ name WRITE setName)
    Q_PROPERTY(QString type READ type WRITE setType)
    Q_PROPERTY(QString image READ image WRITE setImage)
    Q_PROPERTY(int level READ level WRITE setLevel)
    Q_PROPERTY(QColor underColor READ underColor WRITE setUnderColor)
    Q_PROPERTY(QColor overColor READ overColor WRITE setOverColor)
    Q_PROPERTY(Mode mode READ mode)
    Q_PROPERTY(double drawHeight READ drawHeight WRITE setDrawHeight)
    Q_PROPERTY(qulonglong target READ target WRITE setTarget)

public:
    enum Mode { FloorPlan = 1, TranslucentBox = 2, Storage = 3, Machine = 4 };
    Q_ENUM(Mode)

    // A zone of the given map (its scene); the map announces its changes and
    // removes it. A zone without a map sends its commands to the hub.
    explicit MapZone(MapScene *map = nullptr, QObject *parent = nullptr);
    ~MapZone() override;

    MapScene *map() const;

    bool show() const { return m_show; }
    qulonglong id() const { return m_id; }
    QString name() const { return m_name; }
    QString type() const { return m_type; }
    QString image() const { return m_image; }
    int level() const { return m_level; }
    QColor underColor() const { return m_underColor; }
    QColor overColor() const { return m_overColor; }
    Mode mode() const { return m_mode; }
    double drawHeight() const { return m_drawHeight; }
    qulonglong target() const { return m_target; }

    // "on_enter" and "on_exit", each a JSON command object.
    QJsonObject commandList() const { return m_commands; }
    void setCommandList(const QJsonObject &commands) { m_commands = commands; }

    // Tags inside, in the order they entered.
    const QVector<uint64_t> &nodesInside() const { return m_inside; }
    // overColor from level tags on, underColor below.
    QColor levelColor() const;

    // The box keys, then "name", "id", "image", "cmdlist", "target", "level",
    // the two colours, "mode", "draw_height" and "type"; values of the wrong
    // type keep the current value, a level or mode that is no whole number
    // in range is reported and keeps it too, bad colours are reported and
    // replaced by the defaults. "type", when present, decides the mode; it
    // is written only when the mode follows from it, so that every zone
    // reads back as it was.
    void fromJSON(const QJsonObject &obj) override;
    QJsonObject toJSON() const override;

    // The command with "__SELF__" in its "id" replaced by the tag's id.
    static QJsonObject commandFor(const QJsonObject &command, uint64_t nodeId);
    // A new id from the clock, for a zone read without one: "A5EA" followed
    // by the digits of "0yyhhmmsszzz", read as hexadecimal; never the same
    // twice in a process.
    static uint64_t idFromClock();

    // GL, with the map's context current: draws the zone with its storeys
    // spread as the view says. Translucent boxes are drawn by drawFaces,
    // after the nodes.
    void draw(double floorSize, double floorExtend);
    void drawFaces(double floorSize, double floorExtend);
    // Deletes the texture; the map's context must be current.
    void releaseGL();

signals:
    void showChanged(bool arg);
    // A tag walked in or out of the zone; nodeLeft also when it stopped
    // being a tag or was reported inactive inside.
    void nodeEntered(uint64_t nodeId);
    void nodeLeft(uint64_t nodeId);

public slots:
    // Reads the floor-plan image; it is uploaded at the next draw.
    void loadTexture(QString filename);
    // Enter and exit check of one node (only tags count).
    void nodeUpdated(RtlsObject *rtlsNode);
    // A tag reported inactive leaves the zone (with "on_exit") until it is
    // heard inside again.
    void nodeInactive(RtlsObject *rtlsNode);
    void setShow(bool show);
    void setID(qulonglong id);
    void setName(QString name);
    void setType(QString type);
    void setImage(QString image);
    void setLevel(int level);
    void setUnderColor(QColor color);
    void setOverColor(QColor color);
    void setDrawHeight(double drawHeight);
    void setTarget(qulonglong target);
    // Removes the zone from its map, which deletes it later.
    void destroy();

private:
    void send(const char *key, uint64_t nodeId);
    void leave(uint64_t nodeId);
    void report(const QString &line) const;
    void readInt(const QJsonObject &obj, const char *name, int min, int max, int *value,
                 const QString &owner) const;
    void readColor(const QJsonObject &obj, const char *key, const char *fallback, QColor *value) const;
    MapNodeSource *source() const;

    bool m_show = true;
    MapTexture m_texture;
    Mode m_mode = Storage;
    QVector<uint64_t> m_inside;
    QSet<uint64_t> m_insideSet; // the same ids, for the check every report makes
    QJsonObject m_commands;
    double m_drawHeight = 0.0;
    QPointer<MapScene> m_map;
    QString m_name;
    qulonglong m_id = 0;
    QString m_image;
    int m_level;
    QColor m_underColor;
    QColor m_overColor;
    QString m_type;
    qulonglong m_target = 0;
};
