#include "SurveyPlan.h"

#include "NodeDetailText.h"
#include "RtlsConvert.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QLocale>
#include <QSet>

#include <cmath>

namespace {

constexpr int kMaxSeconds = 24 * 3600;
constexpr int kMaxReports = 1000000;

QString tr(const char *text)
{
    return QCoreApplication::translate("SurveyPlan", text);
}

using Rtls::key;

struct FigureEntry
{
    SurveyPlan::Figure figure;
    const char *key;
    const char *name;
};

const FigureEntry kFigures[] = {
    {SurveyPlan::Figure::Cep50, "cep50", QT_TRANSLATE_NOOP("SurveyPlan", "CEP50")},
    {SurveyPlan::Figure::Cep95, "cep95", QT_TRANSLATE_NOOP("SurveyPlan", "CEP95")},
    {SurveyPlan::Figure::Rms3d, "rms3d", QT_TRANSLATE_NOOP("SurveyPlan", "3D RMS error")},
};

// Splits one CSV line into fields: commas separate, double quotes enclose
// a field that holds commas, a doubled quote inside is a quote.
bool splitCsv(const QString &line, QStringList *fields)
{
    fields->clear();
    QString field;
    bool quoted = false;
    bool wasQuoted = false;
    for (int i = 0; i < line.size(); ++i) {
        const QChar c = line.at(i);
        if (quoted) {
            if (c == QLatin1Char('"')) {
                if (i + 1 < line.size() && line.at(i + 1) == QLatin1Char('"')) {
                    field += c;
                    ++i;
                } else {
                    quoted = false;
                }
            } else {
                field += c;
            }
        } else if (c == QLatin1Char('"') && field.trimmed().isEmpty() && !wasQuoted) {
            quoted = true;
            wasQuoted = true;
            field.clear();
        } else if (c == QLatin1Char(',')) {
            fields->append(wasQuoted ? field : field.trimmed());
            field.clear();
            wasQuoted = false;
        } else {
            field += c;
        }
    }
    if (quoted)
        return false;
    fields->append(wasQuoted ? field : field.trimmed());
    return true;
}

bool readNumber(const QString &text, bool decimalComma, double *value)
{
    bool ok = false;
    double v = QLocale::c().toDouble(text.trimmed(), &ok);
    if (!ok && decimalComma)
        return NodeDetailText::parseCoordinate(text, value);
    if (!ok || !std::isfinite(v))
        return false;
    *value = v;
    return true;
}

// One point from its four fields; the reason in *why when they are not one.
bool pointFrom(const QStringList &fields, bool decimalComma, SurveyPoint *point, QString *why)
{
    if (fields.size() != 4) {
        *why = tr("%1 fields instead of 4 (name, x, y, z)").arg(fields.size());
        return false;
    }
    point->name = fields.at(0).trimmed();
    if (point->name.isEmpty()) {
        *why = tr("the point has no name");
        return false;
    }
    double *const values[] = {&point->x, &point->y, &point->z};
    const char *const axes[] = {"x", "y", "z"};
    for (int i = 0; i < 3; ++i) {
        if (!readNumber(fields.at(i + 1), decimalComma, values[i])) {
            *why = tr("%1 \"%2\" is not a number").arg(QLatin1String(axes[i]), fields.at(i + 1).trimmed());
            return false;
        }
    }
    return true;
}

bool isHeader(const QStringList &fields)
{
    if (fields.size() != 4)
        return false;
    const char *const names[] = {"name", "x", "y", "z"};
    for (int i = 0; i < 4; ++i)
        if (fields.at(i).trimmed().compare(QLatin1String(names[i]), Qt::CaseInsensitive) != 0)
            return false;
    return true;
}

bool checkUnique(const QVector<SurveyPoint> &points, QString *error)
{
    QSet<QString> seen;
    for (const SurveyPoint &p : points) {
        if (seen.contains(p.name)) {
            *error = tr("the point name %1 appears twice").arg(p.name);
            return false;
        }
        seen.insert(p.name);
    }
    return true;
}

QStringList lines(const QString &text)
{
    QString t = text;
    t.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    t.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return t.split(QLatin1Char('\n'));
}

} // namespace

QString SurveyPlan::figureKey(Figure figure)
{
    for (const FigureEntry &e : kFigures)
        if (e.figure == figure)
            return QLatin1String(e.key);
    return QString();
}

QString SurveyPlan::figureName(Figure figure)
{
    for (const FigureEntry &e : kFigures)
        if (e.figure == figure)
            return tr(e.name);
    return QString();
}

bool SurveyPlan::isDefault() const
{
    return *this == SurveyPlan();
}

bool SurveyPlan::operator==(const SurveyPlan &o) const
{
    return siteName == o.siteName && points == o.points && figure == o.figure && target == o.target
           && limit == o.limit && seconds == o.seconds && reports == o.reports;
}

QJsonObject SurveyPlan::toJson() const
{
    QJsonArray list;
    for (const SurveyPoint &p : points) {
        QJsonObject o{{key("name"), p.name}, {key("x"), p.x}, {key("y"), p.y}, {key("z"), p.z}};
        if (p.tag)
            o.insert(key("tag"), Rtls::hexText(p.tag));
        list.append(o);
    }
    return QJsonObject{
        {key("site"), siteName},
        {key("target"), QJsonObject{{key("figure"), figureKey(figure)}, {key("metres"), target}}},
        {key("run"), QJsonObject{{key("limit"), limit == Limit::Seconds ? QStringLiteral("seconds")
                                                                         : QStringLiteral("reports")},
                                 {key("seconds"), seconds},
                                 {key("reports"), reports}}},
        {key("points"), list},
    };
}

SurveyPlan SurveyPlan::fromJson(const QJsonObject &obj, QStringList *problems)
{
    SurveyPlan plan;
    const QJsonValue site = obj.value(key("site"));
    if (site.isString())
        plan.siteName = site.toString();
    else if (!site.isUndefined())
        problems->append(tr("\"site\" is not a text"));

    const QJsonObject target = obj.value(key("target")).toObject();
    const QJsonValue figure = target.value(key("figure"));
    if (!figure.isUndefined()) {
        bool known = false;
        for (const FigureEntry &e : kFigures) {
            if (figure.toString() == QLatin1String(e.key)) {
                plan.figure = e.figure;
                known = true;
            }
        }
        if (!known)
            problems->append(tr("unknown target figure %1").arg(figure.toVariant().toString()));
    }
    const QJsonValue metres = target.value(key("metres"));
    if (metres.isDouble() && metres.toDouble() > 0.0)
        plan.target = metres.toDouble();
    else if (!metres.isUndefined())
        problems->append(tr("the target must be a positive number of metres"));

    const QJsonObject run = obj.value(key("run")).toObject();
    const QJsonValue limit = run.value(key("limit"));
    if (limit == QLatin1String("reports"))
        plan.limit = Limit::Reports;
    else if (!limit.isUndefined() && limit != QLatin1String("seconds"))
        problems->append(tr("a run's limit is \"seconds\" or \"reports\""));
    const QJsonValue seconds = run.value(key("seconds"));
    if (seconds.isDouble() && seconds.toInt() >= 1 && seconds.toInt() <= kMaxSeconds)
        plan.seconds = seconds.toInt();
    else if (!seconds.isUndefined())
        problems->append(tr("a run's seconds must be 1 to %1").arg(kMaxSeconds));
    const QJsonValue reports = run.value(key("reports"));
    if (reports.isDouble() && reports.toInt() >= 1 && reports.toInt() <= kMaxReports)
        plan.reports = reports.toInt();
    else if (!reports.isUndefined())
        problems->append(tr("a run's reports must be 1 to %1").arg(kMaxReports));

    const QJsonValue pointsValue = obj.value(key("points"));
    if (!pointsValue.isUndefined() && !pointsValue.isArray())
        problems->append(tr("\"points\" is not a list"));
    const QJsonArray points = pointsValue.toArray();
    for (int i = 0; i < points.size(); ++i) {
        const QJsonObject o = points.at(i).toObject();
        SurveyPoint p;
        p.name = o.value(key("name")).toString().trimmed();
        const QJsonValue x = o.value(key("x")), y = o.value(key("y")), z = o.value(key("z"));
        if (p.name.isEmpty() || !x.isDouble() || !y.isDouble() || !z.isDouble()) {
            problems->append(tr("survey point %1 needs a name and numbers x, y, z").arg(i + 1));
            continue;
        }
        p.x = x.toDouble();
        p.y = y.toDouble();
        p.z = z.toDouble();
        p.tag = Rtls::parseHex64(o.value(key("tag")).toString());
        plan.points.append(p);
    }
    return plan;
}

bool SurveyPlan::parseCsv(const QString &text, QVector<SurveyPoint> *points, QString *error)
{
    const QStringList all = lines(text);
    QVector<SurveyPoint> out;
    bool header = false;
    for (int i = 0; i < all.size(); ++i) {
        const QString &line = all.at(i);
        if (line.trimmed().isEmpty())
            continue;
        QStringList fields;
        if (!splitCsv(line, &fields)) {
            *error = tr("line %1: a quote is not closed").arg(i + 1);
            return false;
        }
        if (!header) {
            if (!isHeader(fields)) {
                *error = tr("line %1: the first line must be the header name,x,y,z").arg(i + 1);
                return false;
            }
            header = true;
            continue;
        }
        SurveyPoint p;
        QString why;
        if (!pointFrom(fields, false, &p, &why)) {
            *error = tr("line %1: %2").arg(i + 1).arg(why);
            return false;
        }
        out.append(p);
    }
    if (!header) {
        *error = tr("the file is empty");
        return false;
    }
    if (!checkUnique(out, error))
        return false;
    *points = out;
    return true;
}

bool SurveyPlan::parsePasted(const QString &text, QVector<SurveyPoint> *points, QString *error)
{
    const QStringList all = lines(text);
    QVector<SurveyPoint> out;
    bool first = true;
    for (int i = 0; i < all.size(); ++i) {
        const QString line = all.at(i).trimmed();
        if (line.isEmpty())
            continue;
        QStringList fields;
        bool decimalComma = true;
        if (line.contains(QLatin1Char('\t'))) {
            fields = line.split(QLatin1Char('\t'));
        } else if (line.contains(QLatin1Char(';'))) {
            fields = line.split(QLatin1Char(';'));
        } else {
            decimalComma = false;
            if (!splitCsv(line, &fields)) {
                *error = tr("line %1: a quote is not closed").arg(i + 1);
                return false;
            }
        }
        const bool header = first && isHeader(fields);
        first = false;
        if (header)
            continue;
        SurveyPoint p;
        QString why;
        if (!pointFrom(fields, decimalComma, &p, &why)) {
            *error = tr("line %1: %2").arg(i + 1).arg(why);
            return false;
        }
        out.append(p);
    }
    if (out.isEmpty()) {
        *error = tr("no points in the text");
        return false;
    }
    if (!checkUnique(out, error))
        return false;
    *points = out;
    return true;
}
