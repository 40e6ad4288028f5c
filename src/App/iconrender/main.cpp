// Build-time tool: renders the manager's SVG icon sources to the PNG files
// that the resource file carries.
//
//   sentrova-iconrender <manifest> <svg dir> <out dir> <size in pixels> [<suffix>]
//
// Each manifest line is "<png name> <svg name> [colour]"; a colour replaces
// every "@COLOR@" in the source, so one drawing serves all its colour
// variants. Blank lines and lines starting with '#' are skipped. A suffix
// goes before the ".png" of every name: "@2x" makes the pictures that Qt
// picks on a screen of twice the density.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>
#include <QTextStream>

#include <cstdio>

namespace {

constexpr int kExitUsage = 2;
constexpr int kExitFailure = 1;
const QByteArray kColourPlaceholder = QByteArrayLiteral("@COLOR@");

bool renderOne(const QByteArray &svg, const QString &outFile, int size)
{
    QSvgRenderer renderer(svg);
    if (!renderer.isValid())
        return false;
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    renderer.render(&painter);
    painter.end();
    return image.save(outFile, "PNG");
}

QString withSuffix(const QString &name, const QString &suffix)
{
    const QString png = QStringLiteral(".png");
    if (suffix.isEmpty() || !name.endsWith(png))
        return name + (suffix.isEmpty() ? QString() : suffix);
    return name.left(name.size() - png.size()) + suffix + png;
}

bool renderLine(const QStringList &fields, const QDir &svgDir, const QDir &outDir, int size, const QString &suffix)
{
    QFile source(svgDir.filePath(fields.at(1)));
    if (!source.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "cannot read %s\n", qPrintable(source.fileName()));
        return false;
    }
    QByteArray svg = source.readAll();
    if (fields.size() > 2)
        svg.replace(kColourPlaceholder, fields.at(2).toLatin1());
    if (svg.contains(kColourPlaceholder)) {
        std::fprintf(stderr, "%s needs a colour\n", qPrintable(fields.at(0)));
        return false;
    }
    const QString outFile = outDir.filePath(withSuffix(fields.at(0), suffix));
    if (!renderOne(svg, outFile, size)) {
        std::fprintf(stderr, "cannot render %s\n", qPrintable(outFile));
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    // Rendering needs a GUI application but never a display.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments();
    bool sizeOk = false;
    const int size = args.size() == 5 || args.size() == 6 ? args.at(4).toInt(&sizeOk) : 0;
    if (!sizeOk || size <= 0) {
        std::fprintf(stderr, "usage: sentrova-iconrender <manifest> <svg dir> <out dir> <size> [<suffix>]\n");
        return kExitUsage;
    }
    const QString suffix = args.size() == 6 ? args.at(5) : QString();
    QFile manifest(args.at(1));
    if (!manifest.open(QIODevice::ReadOnly | QIODevice::Text)) {
        std::fprintf(stderr, "cannot read %s\n", qPrintable(manifest.fileName()));
        return kExitFailure;
    }
    const QDir svgDir(args.at(2));
    QDir outDir(args.at(3));
    if (!outDir.mkpath(QStringLiteral("."))) {
        std::fprintf(stderr, "cannot create %s\n", qPrintable(outDir.path()));
        return kExitFailure;
    }
    QTextStream in(&manifest);
    bool ok = true;
    while (!in.atEnd()) {
        const QString line = in.readLine().trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        const QStringList fields = line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        if (fields.size() < 2 || fields.size() > 3) {
            std::fprintf(stderr, "bad manifest line: %s\n", qPrintable(line));
            ok = false;
            continue;
        }
        ok = renderLine(fields, svgDir, outDir, size, suffix) && ok;
    }
    return ok ? 0 : kExitFailure;
}
