#pragma once

#include "CubeVolume.h"

#include <QColor>
#include <QVector>

// The floor grid: lines every gridres metres over its box, every stepSize-th
// one in a stronger colour, the X and Y axes in their own colours, mirrored
// to the negative side of its position when asked, and drawn on every
// storey when the view spreads the storeys apart. Its box is also the scene
// box that the camera presets frame.
class MapGrid : public CubeVolume
{
    Q_OBJECT
    Q_PROPERTY(bool show READ show WRITE setShow NOTIFY showChanged)
    Q_PROPERTY(QColor xAxisColor READ xAxisColor WRITE setXAxisColor NOTIFY changed)
    Q_PROPERTY(QColor yAxisColor READ yAxisColor WRITE setYAxisColor NOTIFY changed)
    Q_PROPERTY(QColor axisColor READ axisColor WRITE setAxisColor NOTIFY changed)
    Q_PROPERTY(QColor stepAxisColor READ stepAxisColor WRITE setStepAxisColor NOTIFY changed)
    Q_PROPERTY(int stepSize READ stepSize WRITE setStepSize NOTIFY changed)
    Q_PROPERTY(double gridres READ gridres WRITE setGridres NOTIFY changed)
    Q_PROPERTY(bool mirrorX READ mirrorX WRITE setMirrorX NOTIFY changed)
    Q_PROPERTY(bool mirrorY READ mirrorY WRITE setMirrorY NOTIFY changed)

public:
    explicit MapGrid(QObject *parent = nullptr);

    bool show() const { return m_show; }
    QColor xAxisColor() const { return m_xAxisColor; }
    QColor yAxisColor() const { return m_yAxisColor; }
    QColor axisColor() const { return m_axisColor; }
    QColor stepAxisColor() const { return m_stepAxisColor; }
    int stepSize() const { return m_stepSize; }
    double gridres() const { return m_gridres; }
    bool mirrorX() const { return m_mirrorX; }
    bool mirrorY() const { return m_mirrorY; }

    // The scene box: from the position to the position plus the size; a
    // mirrored axis starts at min - max instead.
    qglviewer::Vec sceneMin() const;
    qglviewer::Vec sceneMax() const;

    // Multiples of step between from and to (both included), at most
    // maxLines of them; empty when the step is not positive or there would
    // be more.
    static QVector<double> linePositions(double from, double to, double step, int maxLines);
    // Storeys the grid is drawn on: one, or every storey its height covers
    // when the storeys are spread apart.
    int storeys(double floorSize, double floorExtend) const;

    // The box keys, then the four colours (when they are valid colour names)
    // and "step-size" (when positive); bad values are reported.
    void fromJSON(const QJsonObject &obj) override;
    QJsonObject toJSON() const override;

    // GL, with the map's context current. The lines are compiled once per
    // change of the grid.
    void draw(double floorSize, double floorExtend);
    void releaseGL();

signals:
    void showChanged(bool show);
    void changed();
    void displayMessage(QString line);

public slots:
    void setShow(bool show);
    void toggleShow() { setShow(!m_show); }
    void setXAxisColor(const QColor &color);
    void setYAxisColor(const QColor &color);
    void setAxisColor(const QColor &color);
    void setStepAxisColor(const QColor &color);
    void setStepSize(int stepSize);
    void setGridres(double gridres);
    void setMirrorX(bool mirror);
    void setMirrorY(bool mirror);

private:
    void touch();
    void compile();
    void readColor(const QJsonObject &obj, const char *key, const char *fallback, QColor *value);

    bool m_show = true;
    QColor m_xAxisColor;
    QColor m_yAxisColor;
    QColor m_axisColor;
    QColor m_stepAxisColor;
    int m_stepSize;
    double m_gridres;
    bool m_mirrorX = true;
    bool m_mirrorY = true;
    unsigned int m_list = 0;
    bool m_compiled = false;
};
