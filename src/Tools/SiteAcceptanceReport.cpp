#include "SiteAcceptanceReport.h"

#include "RtlsConvert.h"
#include "SurveyLook.h"
#include "SurveyTargetPlot.h"

#include <QAbstractTextDocumentLayout>
#include <QCoreApplication>
#include <QFile>
#include <QFont>
#include <QPainter>
#include <QPdfWriter>
#include <QTextDocument>
#include <QUrl>

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>

namespace {

constexpr int kDpi = 150;
// The text layout counts image sizes in pixels of a 96 dpi screen.
constexpr double kLayoutDpi = 96.0;
constexpr double kMarginMm = 15.0;
constexpr int kFontPoints = 9;
constexpr int kFooterPoints = 7;
constexpr int kPlotPixels = 460;
// Room around a target plot on the page and its least side, in the
// layout's pixels.
constexpr int kPlotGap = 12;
constexpr int kPlotCaption = 30;
constexpr int kMinPlotSide = 120;
constexpr int kDecimals = 3;
constexpr double kNone = std::numeric_limits<double>::quiet_NaN();

QString tr(const char *text)
{
    return QCoreApplication::translate("SiteAcceptanceReport", text);
}

QString esc(const QString &text)
{
    return text.toHtmlEscaped();
}

QString metres(double v)
{
    return std::isfinite(v) ? QString::number(v, 'f', kDecimals) : QStringLiteral("–");
}

QString signedMetres(double v)
{
    return std::isfinite(v) ? (v >= 0 ? QStringLiteral("+") : QString()) + QString::number(v, 'f', kDecimals)
                            : QStringLiteral("–");
}

QString nodeName(const SiteAcceptanceReport::Input &in, uint64_t id)
{
    const QString name = in.nodeNames.value(id);
    return name.isEmpty() ? Rtls::hexText(id) : name;
}

QString names(const SiteAcceptanceReport::Input &in, const QVector<uint64_t> &ids)
{
    QStringList out;
    for (uint64_t id : ids)
        out.append(nodeName(in, id));
    return out.isEmpty() ? QStringLiteral("–") : out.join(QStringLiteral(", "));
}

QString row(const QString &label, const QString &value)
{
    return QStringLiteral("<tr><td>%1</td><td><b>%2</b></td></tr>").arg(esc(label), value);
}

QString targetText(const SurveyPlan &plan)
{
    return tr("%1 ≤ %2 m at every point").arg(SurveyPlan::figureName(plan.figure), metres(plan.target));
}

QString calibrationState(const SiteAcceptanceReport::AnchorRow &a)
{
    const AnchorReview::Anchor &r = a.review;
    if (r.layoutFault)
        return tr("survey fault: the ranges put it at (%1, %2)").arg(metres(r.fitX), metres(r.fitY));
    if (r.delayFault)
        return tr("antenna delays: ranges %1 m off").arg(signedMetres(r.rangeError));
    if (r.layoutChecked || r.delaySolved)
        return tr("OK");
    return tr("not checked");
}

QString anchorTable(const SiteAcceptanceReport::Input &in, int first, int count)
{
    QString html = QStringLiteral("<table border=\"1\" cellspacing=\"0\" cellpadding=\"3\" width=\"100%\"><tr>");
    for (const QString &h : {tr("Anchor"), tr("Id"), tr("X [m]"), tr("Y [m]"), tr("Z [m]"), tr("Layout check [m]"),
                             tr("Range error [m]"), tr("Antenna delays TX/RX"), tr("State")})
        html += QStringLiteral("<th>%1</th>").arg(esc(h));
    html += QStringLiteral("</tr>");
    for (int i = first; i < std::min(in.anchors.size(), first + count); ++i) {
        const SiteAcceptanceReport::AnchorRow &a = in.anchors.at(i);
        const AnchorReview::Anchor &r = a.review;
        const bool flagged = r.flagged();
        html += flagged ? QStringLiteral("<tr bgcolor=\"#ffd0d0\">") : QStringLiteral("<tr>");
        const QString cells[] = {
            esc(a.name),
            Rtls::hexText(r.id),
            r.surveyed ? metres(r.x) : tr("unknown"),
            r.surveyed ? metres(r.y) : tr("unknown"),
            r.surveyed ? metres(r.z) : tr("unknown"),
            r.layoutChecked ? metres(r.residual) : tr("not checked"),
            r.delaySolved ? signedMetres(r.rangeError) : tr("not solved"),
            a.delaysKnown ? QStringLiteral("%1 / %2").arg(a.txDelay).arg(a.rxDelay) : tr("not read"),
            esc(calibrationState(a)),
        };
        for (const QString &c : cells)
            html += QStringLiteral("<td>%1</td>").arg(c);
        html += QStringLiteral("</tr>");
    }
    return html + QStringLiteral("</table>");
}

QString summaryPage(const SiteAcceptanceReport::Input &in)
{
    const SurveyPlan &plan = in.session->plan();
    const SiteAcceptanceSession::Overall &o = in.overall;
    QString html = QStringLiteral("<h1>%1</h1>").arg(esc(tr("Site acceptance report")));
    html += QStringLiteral("<table cellpadding=\"2\">");
    html += row(tr("Site"), esc(plan.siteName.isEmpty() ? tr("(no name given)") : plan.siteName));
    html += row(tr("Date"), esc(in.date.toString(QStringLiteral("yyyy-MM-dd HH:mm"))));
    html += row(tr("Target"), esc(targetText(plan)));
    html += QStringLiteral("</table>");
    html += QStringLiteral("<p style=\"font-size:26pt; color:%1\"><b>%2</b></p>")
                .arg(SurveyLook::verdictColour(o.verdict).name(),
                     esc(tr("Verdict: %1").arg(SurveyLook::verdictText(o.verdict))));
    html += QStringLiteral("<p>%1</p>")
                .arg(esc(tr("%1 of %2 points meet the target; %3 fail; %4 without a result.")
                             .arg(o.passed)
                             .arg(plan.points.size())
                             .arg(o.failed)
                             .arg(o.open)));

    html += QStringLiteral("<h2>%1</h2><table cellpadding=\"2\">").arg(esc(tr("Overall figures")));
    html += row(tr("Positions used"), QString::number(o.figures.count));
    html += row(tr("Horizontal CEP50 [m]"), metres(o.figures.valid() ? o.figures.cep50 : kNone));
    html += row(tr("Horizontal CEP95 [m]"), metres(o.figures.valid() ? o.figures.cep95 : kNone));
    html += row(tr("Largest horizontal error [m]"), metres(o.figures.valid() ? o.figures.maxError : kNone));
    html += row(tr("3D RMS error [m]"), metres(o.figures.valid() ? o.figures.rms3dError : kNone));
    if (o.worst >= 0) {
        const SiteAcceptanceSession::PointResult &w = in.results.at(o.worst);
        html += row(tr("Worst point"), esc(QStringLiteral("%1 (%2 %3 m)")
                                               .arg(plan.points.at(o.worst).name,
                                                    SurveyPlan::figureName(plan.figure), metres(w.figure))));
    }
    html += QStringLiteral("</table>");
    html += QStringLiteral("<p>%1</p>")
                .arg(esc(tr("CEP50 and CEP95: the 50th and 95th percentiles of the horizontal distances between "
                            "each position and its surveyed point (nearest rank). RMS error: root mean square of "
                            "the distances in space. Positions below the map's minimum quality are counted but "
                            "not used.")));

    QStringList flagged;
    for (const SiteAcceptanceReport::AnchorRow &a : in.anchors)
        if (a.review.flagged())
            flagged.append(QStringLiteral("%1 (%2)").arg(a.name, calibrationState(a)));
    if (!flagged.isEmpty())
        html += QStringLiteral("<p><b>%1</b> %2</p>").arg(esc(tr("Flagged anchors:")), esc(flagged.join(QStringLiteral("; "))));

    html += QStringLiteral("<h2>%1</h2>").arg(esc(tr("Anchors")));
    html += anchorTable(in, 0, SiteAcceptanceReport::kAnchorsFirstPage);
    return html;
}

QString mapPage(const SiteAcceptanceReport::Input &in, int width)
{
    QString html = QStringLiteral("<h2>%1</h2>").arg(esc(tr("Site map with the survey points")));
    if (in.map.isNull()) {
        html += QStringLiteral("<p>%1</p>").arg(esc(tr("No map image: the map was not available.")));
    } else {
        const int height = int(double(width) * in.map.height() / std::max(1, in.map.width()));
        html += QStringLiteral("<p><img src=\"map\" width=\"%1\" height=\"%2\"></p>").arg(width).arg(height);
    }
    html += QStringLiteral("<p>%1</p>")
                .arg(esc(tr("Each survey point is a dot at its surveyed position with the circle that holds 95 % "
                            "of its horizontal errors and an arrow from the surveyed position to the mean measured "
                            "position, to scale. Green: meets the target by a quarter or more; amber: meets it; "
                            "red: misses it; grey: no result.")));
    return html;
}

SurveyTargetPlot::Data plotData(const SiteAcceptanceReport::Input &in, int point)
{
    const SiteAcceptanceSession::PointResult &r = in.results.at(point);
    const SurveyPoint &p = in.session->plan().points.at(point);
    SurveyTargetPlot::Data data;
    data.title = p.name;
    data.target = in.session->plan().target;
    if (r.run < 0)
        return data;
    for (const SiteAcceptanceSession::Sample &s : in.session->runs(point).at(r.run).samples)
        if (s.used)
            data.errors.append(QPointF(s.x - p.x, s.y - p.y));
    if (r.figures.valid()) {
        data.cep50 = r.figures.cep50;
        data.cep95 = r.figures.cep95;
    }
    return data;
}

QString pointsTable(const SiteAcceptanceReport::Input &in, int first)
{
    const SurveyPlan &plan = in.session->plan();
    const int last = std::min(plan.points.size(), first + SiteAcceptanceReport::kPointsPerPage);
    QString html = QStringLiteral("<h2>%1</h2>")
                       .arg(esc(tr("Survey points %1–%2 of %3").arg(first + 1).arg(last).arg(plan.points.size())));
    html += QStringLiteral("<table border=\"1\" cellspacing=\"0\" cellpadding=\"2\" width=\"100%\" "
                           "style=\"font-size:8pt\"><tr><th></th>");
    for (int i = first; i < last; ++i)
        html += QStringLiteral("<th>%1</th>").arg(esc(plan.points.at(i).name));
    html += QStringLiteral("</tr>");

    struct Line
    {
        QString label;
        std::function<QString(int, const SiteAcceptanceSession::PointResult &)> value;
    };
    auto fig = [](double SurveyStatistics::Figures::*member) {
        return [member](int, const SiteAcceptanceSession::PointResult &r) {
            return r.figures.valid() ? metres(r.figures.*member) : QStringLiteral("–");
        };
    };
    const QVector<Line> lines = {
        {tr("Result"), [](int, const SiteAcceptanceSession::PointResult &r) { return esc(SurveyLook::statusText(r.status)); }},
        {tr("Surveyed x, y, z [m]"),
         [&](int i, const SiteAcceptanceSession::PointResult &) {
             const SurveyPoint &p = plan.points.at(i);
             return QStringLiteral("%1, %2, %3").arg(metres(p.x), metres(p.y), metres(p.z));
         }},
        {tr("Tag"),
         [&](int i, const SiteAcceptanceSession::PointResult &r) {
             return r.run >= 0 ? esc(nodeName(in, in.session->runs(i).at(r.run).tag)) : QStringLiteral("–");
         }},
        {tr("Run"), [](int, const SiteAcceptanceSession::PointResult &r) {
             return r.runs > 0 ? tr("%1 of %2").arg(r.run + 1).arg(r.runs) : QStringLiteral("–");
         }},
        {tr("Positions used"), [](int, const SiteAcceptanceSession::PointResult &r) { return QString::number(r.figures.count); }},
        {tr("Below minimum quality"),
         [&](int i, const SiteAcceptanceSession::PointResult &r) {
             return r.run >= 0 ? QString::number(in.session->runs(i).at(r.run).belowQuality()) : QStringLiteral("–");
         }},
        {tr("Mean x, y, z [m]"),
         [](int, const SiteAcceptanceSession::PointResult &r) {
             return r.figures.valid()
                        ? QStringLiteral("%1, %2, %3").arg(metres(r.figures.mean.x), metres(r.figures.mean.y),
                                                          metres(r.figures.mean.z))
                        : QStringLiteral("–");
         }},
        {tr("Bias x, y, z [m]"),
         [](int, const SiteAcceptanceSession::PointResult &r) {
             return r.figures.valid() ? QStringLiteral("%1, %2, %3")
                                            .arg(signedMetres(r.figures.biasX), signedMetres(r.figures.biasY),
                                                 signedMetres(r.figures.biasZ))
                                      : QStringLiteral("–");
         }},
        {tr("Horizontal bias [m]"), fig(&SurveyStatistics::Figures::biasHorizontal)},
        {tr("Std dev x, y, z [m]"),
         [](int, const SiteAcceptanceSession::PointResult &r) {
             return r.figures.valid()
                        ? QStringLiteral("%1, %2, %3").arg(metres(r.figures.sdX), metres(r.figures.sdY),
                                                          metres(r.figures.sdZ))
                        : QStringLiteral("–");
         }},
        {tr("2D RMS about the mean [m]"), fig(&SurveyStatistics::Figures::rms2d)},
        {tr("3D RMS about the mean [m]"), fig(&SurveyStatistics::Figures::rms3d)},
        {tr("CEP50 [m]"), fig(&SurveyStatistics::Figures::cep50)},
        {tr("CEP95 [m]"), fig(&SurveyStatistics::Figures::cep95)},
        {tr("Largest error [m]"), fig(&SurveyStatistics::Figures::maxError)},
        {tr("3D RMS error [m]"), fig(&SurveyStatistics::Figures::rms3dError)},
        {tr("Predicted HDOP"),
         [](int, const SiteAcceptanceSession::PointResult &r) {
             return std::isfinite(r.hdop) ? QString::number(r.hdop, 'f', 2) : QStringLiteral("–");
         }},
        {tr("Anchors in range"),
         [&](int, const SiteAcceptanceSession::PointResult &r) {
             return r.inRange.isEmpty() ? QStringLiteral("–") : QString::number(r.inRange.size());
         }},
        {tr("Flagged anchors near"),
         [&](int, const SiteAcceptanceSession::PointResult &r) { return esc(names(in, r.flaggedNear)); }},
    };
    for (const Line &line : lines) {
        html += QStringLiteral("<tr><td>%1</td>").arg(esc(line.label));
        for (int i = first; i < last; ++i) {
            const SiteAcceptanceSession::PointResult &r = in.results.at(i);
            const QString cell = line.value(i, r);
            if (&line == &lines.first())
                html += QStringLiteral("<td bgcolor=\"%1\"><b>%2</b></td>")
                            .arg(SurveyLook::colour(r, plan.target).lighter(170).name(), cell);
            else
                html += QStringLiteral("<td>%1</td>").arg(cell);
        }
        html += QStringLiteral("</tr>");
    }
    return html + QStringLiteral("</table>");
}

QString pointsPlots(const SiteAcceptanceReport::Input &in, int first, int plotSide)
{
    const int last = std::min(in.session->plan().points.size(), first + SiteAcceptanceReport::kPointsPerPage);
    QString html = QStringLiteral("<p>%1</p><table cellspacing=\"4\">")
                       .arg(esc(tr("Target plots: each dot is a used position's horizontal error; green circle "
                                   "CEP50, orange CEP95, red dashed the target.")));
    for (int i = first; i < last; ++i) {
        if ((i - first) % 2 == 0)
            html += QStringLiteral("<tr>");
        html += QStringLiteral("<td><img src=\"plot%1\" width=\"%2\" height=\"%2\"></td>").arg(i).arg(plotSide);
        if ((i - first) % 2 == 1 || i == last - 1)
            html += QStringLiteral("</tr>");
    }
    return html + QStringLiteral("</table>");
}

class PageWriter
{
public:
    PageWriter(QPdfWriter &writer, QPainter &painter, int pages, const QString &footer)
        : m_writer(writer), m_painter(painter), m_pages(pages), m_footer(footer)
    {
        m_area = writer.pageLayout().paintRectPixels(kDpi).size();
        QFont small;
        small.setPointSize(kFooterPoints);
        m_footerHeight = QFontMetrics(small, &writer).height() * 2;
    }

    // Width of the text area in the layout's image pixels.
    int layoutWidth() const { return int(m_area.width() * kLayoutDpi / kDpi); }
    // Height left below html on a page, in the layout's image pixels.
    int layoutHeightBelow(const QString &html) const
    {
        QTextDocument doc;
        setUp(doc);
        doc.setHtml(html);
        return int((m_area.height() - m_footerHeight - doc.size().height()) * kLayoutDpi / kDpi);
    }

    void page(const QString &html, const QHash<QString, QImage> &images)
    {
        if (m_page > 0)
            m_writer.newPage();
        ++m_page;
        QTextDocument doc;
        setUp(doc);
        for (auto it = images.cbegin(); it != images.cend(); ++it)
            doc.addResource(QTextDocument::ImageResource, QUrl(it.key()), it.value());
        const QSizeF textArea(m_area.width(), m_area.height() - m_footerHeight);
        doc.setHtml(html);
        m_painter.save();
        doc.drawContents(&m_painter, QRectF(QPointF(0, 0), textArea));
        m_painter.restore();

        QFont small;
        small.setPointSize(kFooterPoints);
        m_painter.setFont(small);
        m_painter.setPen(Qt::darkGray);
        m_painter.drawText(QRect(0, m_area.height() - m_footerHeight, m_area.width(), m_footerHeight),
                           Qt::AlignRight | Qt::AlignBottom,
                           tr("%1 — page %2 of %3").arg(m_footer).arg(m_page).arg(m_pages));
    }

private:
    void setUp(QTextDocument &doc) const
    {
        doc.documentLayout()->setPaintDevice(&m_writer);
        QFont font;
        font.setPointSize(kFontPoints);
        doc.setDefaultFont(font);
        doc.setPageSize(QSizeF(m_area.width(), m_area.height() - m_footerHeight));
    }

    QPdfWriter &m_writer;
    QPainter &m_painter;
    int m_pages;
    QString m_footer;
    QSize m_area;
    int m_footerHeight = 0;
    int m_page = 0;
};

} // namespace

int SiteAcceptanceReport::pageCount(int points, int anchors)
{
    const int anchorPages =
        anchors > kAnchorsFirstPage ? (anchors - kAnchorsFirstPage + kAnchorsPerPage - 1) / kAnchorsPerPage : 0;
    const int pointPages = (points + kPointsPerPage - 1) / kPointsPerPage;
    return 1 + anchorPages + 1 + pointPages;
}

bool SiteAcceptanceReport::write(const QString &fileName, const Input &in, QString *error)
{
    if (!in.session) {
        *error = tr("nothing to report");
        return false;
    }
    // The writer cannot tell that its file failed to open; ask first.
    {
        QFile probe(fileName);
        if (!probe.open(QIODevice::WriteOnly)) {
            *error = probe.errorString();
            return false;
        }
    }
    const SurveyPlan &plan = in.session->plan();
    QPdfWriter writer(fileName);
    writer.setPageSize(QPageSize(QPageSize::A4));
    writer.setPageMargins(QMarginsF(kMarginMm, kMarginMm, kMarginMm, kMarginMm), QPageLayout::Millimeter);
    writer.setResolution(kDpi);
    writer.setTitle(tr("Site acceptance report: %1").arg(plan.siteName));
    writer.setCreator(QStringLiteral("Sentrova Manager"));
    QPainter painter;
    if (!painter.begin(&writer)) {
        *error = tr("the PDF cannot be written");
        return false;
    }
    const QString footer = tr("Site acceptance report — %1 — %2")
                               .arg(plan.siteName.isEmpty() ? tr("(no name given)") : plan.siteName,
                                    in.date.toString(QStringLiteral("yyyy-MM-dd HH:mm")));
    PageWriter pages(writer, painter, pageCount(plan.points.size(), in.anchors.size()), footer);

    pages.page(summaryPage(in), {});
    for (int first = kAnchorsFirstPage; first < in.anchors.size(); first += kAnchorsPerPage)
        pages.page(QStringLiteral("<h2>%1</h2>").arg(esc(tr("Anchors (continued)"))) + anchorTable(in, first, kAnchorsPerPage),
                   {});
    pages.page(mapPage(in, pages.layoutWidth()), {{QStringLiteral("map"), in.map}});
    for (int first = 0; first < plan.points.size(); first += kPointsPerPage) {
        QHash<QString, QImage> plots;
        for (int i = first; i < std::min(plan.points.size(), first + kPointsPerPage); ++i)
            plots.insert(QStringLiteral("plot%1").arg(i),
                         SurveyTargetPlot::render(plotData(in, i), QSize(kPlotPixels, kPlotPixels)));
        // Two rows of two plots in what the table leaves of the page.
        const QString table = pointsTable(in, first);
        const int plotSide = std::max(kMinPlotSide, std::min(pages.layoutWidth() / 2 - kPlotGap,
                                                             pages.layoutHeightBelow(table) / 2 - kPlotCaption));
        pages.page(table + pointsPlots(in, first, plotSide), plots);
    }
    if (!painter.end()) {
        *error = tr("the PDF cannot be written");
        return false;
    }
    return true;
}
