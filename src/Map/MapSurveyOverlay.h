#pragma once

#include "LineBatch.h"

#include <QGLViewer/vec.h>
#include <QRgb>
#include <QString>
#include <QVector>

#include <vector>

struct MapFrameContext;

// One surveyed point as the map shows the site acceptance results: a dot at
// the surveyed position, the circle that holds 95 % of the horizontal errors
// around it, and an arrow from the truth to the mean measured position, all
// in the colour of the point's verdict.
struct MapSurveyMarker
{
    QString label;
    qglviewer::Vec truth;
    bool hasMean = false;
    qglviewer::Vec mean;
    double radius = 0.0; // metres; 0 draws no circle
    QRgb colour = 0xff808080;
};

// The survey points over the map, drawn on top of everything but the
// labels (they are what the installer is looking at). The geometry is built
// once per change of the markers or of the storeys, not per frame.
class MapSurveyOverlay
{
public:
    void setMarkers(const QVector<MapSurveyMarker> &markers);
    const QVector<MapSurveyMarker> &markers() const { return m_markers; }

    // The lines of the markers (circles and arrows) and the dots, with
    // heights spread over the storeys. No GL.
    void build(double floorSize, double floorExtend);
    const LineBatch &lines() const { return m_lines; }

    // GL, with the map's context current; the labels go to the frame's list.
    void draw(const MapFrameContext &frame);

private:
    QVector<MapSurveyMarker> m_markers;
    LineBatch m_lines;
    std::vector<float> m_dotVertices;
    std::vector<unsigned char> m_dotColours;
    bool m_built = false;
    double m_floorSize = -1.0;
    double m_floorExtend = -1.0;
};
