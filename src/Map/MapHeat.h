#pragma once

#include "CubeVolume.h"

#include <QHash>
#include <QString>
#include <QVector>

#include <cstdint>
#include <vector>

class RtlsObject;
struct MapFrameContext;

// A heat map over its box, in square cells: per cell the mean position
// quality (pqf) of the tag fixes seen in it, or the mean signal strength
// (rssi) of the selected node's measurements taken in it, or the predicted
// horizontal dilution of precision of the anchor layout at the cell's centre
// (PredictedDop, from the anchors' coordinates alone, so that weak coverage
// shows before anyone walks the site). Colours run from red (poor) to green (good)
// between a minimum and a maximum; empty cells are not drawn.
class MapHeat : public CubeVolume
{
    Q_OBJECT
    Q_PROPERTY(bool show READ show WRITE setShow NOTIFY showChanged)
    Q_PROPERTY(bool showValues READ showValues WRITE setShowValues NOTIFY changed)
    Q_PROPERTY(double gridres READ gridres WRITE setGridres NOTIFY changed)
    Q_PROPERTY(int min READ min WRITE setMin NOTIFY changed)
    Q_PROPERTY(int max READ max WRITE setMax NOTIFY changed)
    Q_PROPERTY(int mode READ mode WRITE setMode NOTIFY changed)

public:
    enum Mode { Pqf = 0, Rssi = 1, Hdop = 2 };
    Q_ENUM(Mode)

    explicit MapHeat(QObject *parent = nullptr);

    bool show() const { return m_show; }
    bool showValues() const { return m_showValues; }
    double gridres() const { return m_gridres; }
    int min() const { return m_min; }
    int max() const { return m_max; }
    int mode() const { return m_mode; }
    uint64_t selectedNode() const { return m_selected; }

    // Cells across x and y, and their side in metres (the set resolution, or
    // coarser when the box would need too many cells).
    int columns() const { return m_columns; }
    int rows() const { return m_rows; }
    double cellSize() const { return m_cellSize; }
    // Index of the cell holding (x, y), or -1 outside the box.
    int cellAt(double x, double y) const;
    // The value shown for a cell in the current mode: NaN for an empty cell,
    // +inf where the anchors cannot fix a position.
    double value(int cell) const;
    int samples(int cell) const;

    // Colour scale position of a value: 0 poor ... 1 good.
    double scalePosition(double value) const;

    // The box keys, then "show", "showvalues", "gridres", "mode", "min",
    // "max"; bad values are reported and replaced by the defaults.
    void fromJSON(const QJsonObject &obj) override;
    QJsonObject toJSON() const override;

    // GL, with the map's context current.
    void draw(const MapFrameContext &frame);

    // What a frame shows, without GL. updateResults() brings it up to date:
    // only the cells that got samples since the last frame, or every cell
    // after a change of settings, layout, selection or (predicted mode)
    // anchors. refreshResults() always rebuilds every cell.
    void updateResults();
    struct ShownCell
    {
        int cell;
        double value;
        uint8_t rgba[4]; // its texel
    };
    // The cells drawn, in cell order.
    QVector<ShownCell> shownCells() const;
    // Adds the values of the cells on screen and near enough to read to the
    // frame's labels, in cell order; the heat map lies at height z. A
    // cell's text is made the first time it is shown after it changed.
    void addLabels(const MapFrameContext &frame, double z);

signals:
    void showChanged(bool show);
    void changed();
    void displayMessage(QString line);

public slots:
    void nodeUpdated(RtlsObject *node);
    // A node gone from the registry: an anchor leaves the predicted layout.
    void forgetNode(uint64_t id);
    void selectNode(uint64_t id);
    void resetDataStore();
    void refreshResults();
    void setShow(bool show);
    void setShowValues(bool show);
    void setGridres(double gridres);
    void setMin(int min);
    void setMax(int max);
    void setMode(int mode);

private:
    struct Cell
    {
        double sum = 0;
        int count = 0;
    };

    QVector<qglviewer::Vec> anchorPositions() const;
    double valueWith(int cell, const QVector<qglviewer::Vec> &anchors) const;
    void layout();
    void touch();
    void report(const QString &line);
    void accumulate(std::vector<Cell> &store, double x, double y, double v);
    void cellChanged(int cell);
    // Gives the cell its slot (a new one at the end) with the value's colour.
    void showCell(int cell, double value);
    QString text(double value) const;

    bool m_show = false;
    bool m_showValues = false;
    double m_gridres;
    int m_min;
    int m_max;
    int m_mode = Pqf;
    uint64_t m_selected = 0;

    int m_columns = 0;
    int m_rows = 0;
    double m_cellSize = 0;
    std::vector<Cell> m_pqf;
    std::vector<Cell> m_rssi;
    QHash<uint64_t, qglviewer::Vec> m_anchors;

    // What is drawn: the cells as the texels of one texture over the box
    // (an empty cell is transparent), sent to the GL as a whole after a
    // rebuild, else by the band of rows that changed; and one slot per cell
    // with a value, for its label: its value and text. A full rebuild lays
    // the slots out in cell order; a cell that gets its first sample after
    // it goes at the end. Cells only lose their values in a full rebuild.
    bool m_resultsDirty = true;
    std::vector<uint8_t> m_texels; // RGBA, row by row from the box's low corner
    // Made at the first draw; it goes with the view's GL context, which
    // lives as long as the view and so as its scene and this heat map.
    unsigned int m_texture = 0;
    bool m_uploadAll = true;
    int m_firstDirtyRow = 0;
    int m_lastDirtyRow = -1;
    std::vector<int> m_slotOfCell; // -1: not drawn
    std::vector<int> m_slotCells;
    std::vector<double> m_slotValues;
    std::vector<QString> m_texts;
    std::vector<bool> m_textStale;
    // Slots in cell order, for the labels: slots added since the last
    // labelling are merged in then.
    std::vector<int> m_labelOrder;
    std::vector<int> m_labelMerge;
    std::vector<int> m_newSlots;
    // Cells of the shown store that got samples since the last update.
    std::vector<int> m_changedCells;
    std::vector<bool> m_cellChanged;
};
