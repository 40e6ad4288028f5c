#pragma once

#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <QVector>

#include <cstdint>

// A surveyed point: where a tag is stood for the acceptance test.
struct SurveyPoint
{
    QString name;
    double x = 0.0, y = 0.0, z = 0.0;
    uint64_t tag = 0; // the tag used for it, 0 before any choice

    bool operator==(const SurveyPoint &o) const
    {
        return name == o.name && x == o.x && y == o.y && z == o.z && tag == o.tag;
    }
};

// What the site acceptance test is set up to do, as the settings file keeps
// it under "survey": the site's name, the surveyed points, the target the
// site must meet and how long each point is run.
//
//   "survey": {"site": "Hall 3", "target": {"figure": "cep95", "metres": 0.3},
//              "run": {"limit": "seconds", "seconds": 30, "reports": 300},
//              "points": [{"name": "P1", "x": 1.5, "y": 2, "z": 1.2, "tag": "0x2001"}]}
class SurveyPlan
{
public:
    // The figure of a point that is held against the target.
    enum class Figure { Cep50, Cep95, Rms3d };
    enum class Limit { Seconds, Reports };

    static constexpr double kDefaultTarget = 0.30;
    static constexpr int kDefaultSeconds = 30;
    static constexpr int kDefaultReports = 300;

    QString siteName;
    QVector<SurveyPoint> points;
    Figure figure = Figure::Cep95;
    double target = kDefaultTarget;
    Limit limit = Limit::Seconds;
    int seconds = kDefaultSeconds;
    int reports = kDefaultReports;

    bool isDefault() const;
    bool operator==(const SurveyPlan &o) const;

    QJsonObject toJson() const;
    // Values of the wrong type or out of range keep their defaults, each
    // with a line in *problems; points without a name or with coordinates
    // that are not numbers are left out the same way.
    static SurveyPlan fromJson(const QJsonObject &obj, QStringList *problems);

    // Points from CSV text with the header "name,x,y,z" (any case, spaces
    // around fields allowed, fields may be quoted). All or nothing: a bad
    // row refuses the file, with the line number in *error.
    static bool parseCsv(const QString &text, QVector<SurveyPoint> *points, QString *error);
    // Points pasted from a spreadsheet or typed: one per line, name and
    // three coordinates separated by tabs, commas or semicolons; a header
    // line is skipped; with tab or semicolon separators a decimal comma is
    // read too. All or nothing, like parseCsv.
    static bool parsePasted(const QString &text, QVector<SurveyPoint> *points, QString *error);

    static QString figureKey(Figure figure);
    static QString figureName(Figure figure);
};
