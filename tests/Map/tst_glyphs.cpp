#include "GlyphBatch.h"
#include "GlyphMesh.h"
#include "LabelAtlas.h"
#include "LineBatch.h"
#include "MapGeometry.h"

#include <QGLViewer/camera.h>
#include <QGLViewer/qglviewer.h>
#include <QtTest>

#include <GL/gl.h>

#include <algorithm>
#include <cmath>

namespace {

qglviewer::Vec vertexAt(const std::vector<float> &xyz, uint32_t i)
{
    return qglviewer::Vec(xyz[3 * i], xyz[3 * i + 1], xyz[3 * i + 2]);
}

// One glyph drawn either as the GL lights it (its mesh with normals, lit by
// the viewer's light, scaled by the GL) or as the map draws it: placed and
// lit on the CPU, drawn unlit.
class ShadingViewer : public QGLViewer
{
public:
    bool preShaded = false;
    GlyphMesh::Detail detail = GlyphMesh::Fine;
    const qglviewer::Vec at{0.5, -0.3, 0.2};
    const qglviewer::Quaternion turn = MapGeometry::headingRotation(30);
    const double radius = 0.6;
    const double height = 0.8;
    const QColor body{60, 200, 120};

protected:
    void draw() override
    {
        if (preShaded) {
            GlyphBatch batch;
            batch.setLight(-camera()->viewDirection());
            batch.add(GlyphMesh::glyph(detail), at, turn, radius, height, body);
            batch.draw();
            return;
        }
        glPushAttrib(GL_ENABLE_BIT | GL_LIGHTING_BIT | GL_POLYGON_BIT);
        glEnable(GL_LIGHTING);
        glEnable(GL_COLOR_MATERIAL);
        glColorMaterial(GL_FRONT_AND_BACK, GL_AMBIENT_AND_DIFFUSE);
        glEnable(GL_NORMALIZE);
        glEnable(GL_CULL_FACE);
        glCullFace(GL_BACK);
        const GlyphMesh &mesh = GlyphMesh::glyph(detail);
        for (GlyphMesh::Scale scale : {GlyphMesh::Scale::Radius, GlyphMesh::Scale::RadiusHeight}) {
            glPushMatrix();
            glTranslated(at.x, at.y, at.z);
            glMultMatrixd(turn.matrix());
            glScaled(radius, radius, scale == GlyphMesh::Scale::Radius ? radius : height);
            glBegin(GL_TRIANGLES);
            for (size_t t = 0; t < mesh.indices().size(); t += 3) {
                if (mesh.vertices()[mesh.indices()[t]].scale != scale)
                    continue;
                for (size_t k = 0; k < 3; ++k) {
                    const GlyphMesh::Vertex &v = mesh.vertices()[mesh.indices()[t + k]];
                    if (v.shade < 0)
                        glColor3f(1.0f, 1.0f, 1.0f);
                    else
                        glColor3f(body.redF() * v.shade, body.greenF() * v.shade, body.blueF() * v.shade);
                    glNormal3fv(v.normal);
                    glVertex3fv(v.position);
                }
            }
            glEnd();
            glPopMatrix();
        }
        glPopAttrib();
    }
};

} // namespace

// What the map draws in bulk, checked on the CPU: the glyph meshes (their
// faces must point outwards, or culling hides them), the placed and coloured
// batch, the line strips and the label atlas.
class tst_Glyphs : public QObject
{
    Q_OBJECT

private slots:
    void meshesFaceOutwards_data()
    {
        QTest::addColumn<int>("mesh");
        QTest::newRow("fine") << int(GlyphMesh::Fine);
        QTest::newRow("medium") << int(GlyphMesh::Medium);
        QTest::newRow("small") << int(GlyphMesh::Small);
        QTest::newRow("coarse") << int(GlyphMesh::Coarse);
        QTest::newRow("arrow") << -1;
    }

    void meshesFaceOutwards()
    {
        QFETCH(int, mesh);
        const GlyphMesh &m = mesh < 0 ? GlyphMesh::arrow() : GlyphMesh::glyph(GlyphMesh::Detail(mesh));
        const auto &v = m.vertices();
        for (const GlyphMesh::Vertex &vertex : v) {
            const double n = std::sqrt(vertex.normal[0] * vertex.normal[0] + vertex.normal[1] * vertex.normal[1]
                                       + vertex.normal[2] * vertex.normal[2]);
            QVERIFY(std::fabs(n - 1.0) < 1e-5);
        }
        int faces = 0;
        for (size_t t = 0; t < m.indices().size(); t += 3) {
            auto at = [&](size_t k) {
                const float *p = v[m.indices()[t + k]].position;
                return qglviewer::Vec(p[0], p[1], p[2]);
            };
            const qglviewer::Vec face = cross(at(1) - at(0), at(2) - at(0));
            if (face.norm() < 1e-9)
                continue;
            qglviewer::Vec normals;
            for (size_t k = 0; k < 3; ++k) {
                const float *n = v[m.indices()[t + k]].normal;
                normals += qglviewer::Vec(n[0], n[1], n[2]);
            }
            QVERIFY2(face * normals > 0, qPrintable(QStringLiteral("triangle %1 faces inwards").arg(t / 3)));
            ++faces;
        }
        QVERIFY(faces > 0);
    }

    void fineGlyphIsTheUsualShape()
    {
        const GlyphMesh &m = GlyphMesh::glyph(GlyphMesh::Fine);
        int disk = 0;
        for (const GlyphMesh::Vertex &v : m.vertices()) {
            const qglviewer::Vec p(v.position[0], v.position[1], v.position[2]);
            if (v.scale == GlyphMesh::Scale::Radius)
                QVERIFY(std::fabs(p.norm() - 1.0) < 1e-6);
            if (v.shade < 0) {
                ++disk;
                QCOMPARE(p.z, 1.0);
                QVERIFY(std::hypot(p.x, p.y) <= 0.75 + 1e-6);
            }
        }
        // Centre and 21 rim points (the seam twice) of a 20-slice disk.
        QCOMPARE(disk, 22);
    }

    // Whatever level a glyph of r pixels is drawn at, its outline seen from
    // above (the map's usual view) lies within a pixel of the round one, and
    // a level is not finer than needed.
    void outlineWithinAPixel_data()
    {
        QTest::addColumn<double>("pixels");
        QTest::addColumn<int>("expected");
        for (double r : {0.5, 2.0, 4.9, 5.0, 7.4})
            QTest::addRow("%.1f px", r) << r << int(GlyphMesh::Coarse);
        for (double r : {7.5, 10.0, 12.9})
            QTest::addRow("%.1f px", r) << r << int(GlyphMesh::Small);
        for (double r : {13.0, 19.9})
            QTest::addRow("%.1f px", r) << r << int(GlyphMesh::Medium);
        for (double r : {20.0, 40.0, 80.0})
            QTest::addRow("%.1f px", r) << r << int(GlyphMesh::Fine);
    }

    void outlineWithinAPixel()
    {
        QFETCH(double, pixels);
        QFETCH(int, expected);
        const GlyphMesh::Detail detail = GlyphMesh::detailFor(pixels);
        QCOMPARE(int(detail), expected);
        const GlyphMesh &m = GlyphMesh::glyph(detail);
        // The outline of a convex shape falls short of the circle most
        // where its support (its farthest point along a direction) is least.
        double least = 1.0;
        for (int step = 0; step < 3600; ++step) {
            const double a = step * M_PI / 1800.0;
            double support = -1.0;
            for (const GlyphMesh::Vertex &v : m.vertices())
                support = std::max(support, v.position[0] * std::cos(a) + v.position[1] * std::sin(a));
            least = std::min(least, support);
        }
        QVERIFY2((1.0 - least) * pixels <= 1.0, qPrintable(QStringLiteral("%1 px short").arg((1.0 - least) * pixels)));
    }

    void batchPlacesScalesAndColours()
    {
        GlyphBatch batch;
        const qglviewer::Vec at(1, 2, 3);
        const QColor body(200, 100, 0);
        batch.add(GlyphMesh::glyph(GlyphMesh::Fine), at, MapGeometry::headingRotation(90), 0.2, 0.5, body);
        const GlyphMesh &m = GlyphMesh::glyph(GlyphMesh::Fine);
        QCOMPARE(batch.vertexCount(), int(m.vertices().size()));
        double lowest = 1e9;
        double highest = -1e9;
        for (uint32_t i = 0; i < uint32_t(batch.vertexCount()); ++i) {
            const qglviewer::Vec p = vertexAt(batch.positions(), i);
            lowest = std::min(lowest, p.z);
            highest = std::max(highest, p.z);
            QVERIFY(std::hypot(p.x - 1, p.y - 2) <= 0.2 + 1e-6);
            const uint8_t *c = &batch.colors()[4 * i];
            // Lit from straight above: the top disk facing the light (1.2
            // times white, as bright as it gets), the sphere's lower half and
            // the cylinder's side in the ambient light alone.
            const GlyphMesh::Vertex &v = m.vertices()[i];
            if (v.shade < 0)
                QCOMPARE(QColor(c[0], c[1], c[2]), QColor(Qt::white));
            else if (v.normal[2] <= 0.0f)
                QCOMPARE(QColor(c[0], c[1], c[2]), QColor(40, 20, 0));
        }
        // The sphere's radius below, the cylinder's height above.
        QVERIFY(std::fabs(lowest - 2.8) < 1e-6);
        QVERIFY(std::fabs(highest - 3.5) < 1e-6);

        // Lit from +x, the sphere's side that faces +x is the brightest:
        // the light's direction and the placed normals agree.
        batch.clear();
        batch.setLight(qglviewer::Vec(3, 0, 0));
        batch.add(GlyphMesh::glyph(GlyphMesh::Fine), at, MapGeometry::headingRotation(90), 0.2, 0.5, body);
        uint32_t east = 0;
        for (uint32_t i = 0; i < uint32_t(batch.vertexCount()); ++i) {
            if (m.vertices()[i].scale == GlyphMesh::Scale::Radius
                && vertexAt(batch.positions(), i).x > vertexAt(batch.positions(), east).x)
                east = i;
        }
        const uint8_t *c = &batch.colors()[4 * east];
        QCOMPARE(QColor(c[0], c[1], c[2]), QColor(240, 120, 0));
        batch.setLight(qglviewer::Vec(0, 0, 1));

        // An arrow turned by the heading: its tip, (0, 0.5) ahead, points to +x.
        batch.clear();
        QCOMPARE(batch.vertexCount(), 0);
        batch.add(GlyphMesh::arrow(), at, MapGeometry::headingRotation(90), 0.2, 0.5, body);
        double furthest = -1e9;
        for (uint32_t i = 0; i < uint32_t(batch.vertexCount()); ++i)
            furthest = std::max(furthest, vertexAt(batch.positions(), i).x);
        QVERIFY(std::fabs(furthest - 1.5) < 1e-6);
        // The top face is the body darkened by 150, lit from above: 1.2
        // times that.
        const auto &v = GlyphMesh::arrow().vertices();
        for (uint32_t i = 0; i < v.size(); ++i) {
            if (v[i].normal[2] > 0.5f) {
                const uint8_t *c = &batch.colors()[4 * i];
                QCOMPARE(QColor(c[0], c[1], c[2]), QColor(160, 80, 0));
                break;
            }
        }
    }

    // Unlit, pre-shaded glyphs must look as the GL's lighting made them:
    // the same pixels, within rounding, from above and from the side.
    void preShadedLooksLit_data()
    {
        QTest::addColumn<int>("detail");
        QTest::addColumn<double>("elevation");
        QTest::newRow("fine, from 40 degrees") << int(GlyphMesh::Fine) << 40.0;
        QTest::newRow("fine, from above") << int(GlyphMesh::Fine) << 89.0;
        QTest::newRow("coarse, from 10 degrees") << int(GlyphMesh::Coarse) << 10.0;
    }

    void preShadedLooksLit()
    {
        QFETCH(int, detail);
        QFETCH(double, elevation);
        ShadingViewer viewer;
        viewer.setStateFileName(QString());
        viewer.resize(400, 300);
        viewer.show();
        QVERIFY(QTest::qWaitForWindowExposed(&viewer));
        viewer.detail = GlyphMesh::Detail(detail);
        const double e = qDegreesToRadians(elevation);
        viewer.camera()->setPosition(qglviewer::Vec(4 * std::cos(e) * 0.6, -4 * std::cos(e) * 0.8, 4 * std::sin(e)));
        viewer.camera()->setUpVector(qglviewer::Vec(0, 0, 1));
        viewer.camera()->lookAt(viewer.at);
        const QImage lit = viewer.grabFramebuffer();
        viewer.preShaded = true;
        const QImage shaded = viewer.grabFramebuffer();
        QCOMPARE(shaded.size(), lit.size());
        const QRgb background = lit.pixel(0, 0);
        int covered = 0;
        int differing = 0;
        for (int y = 0; y < lit.height(); ++y) {
            for (int x = 0; x < lit.width(); ++x) {
                const QRgb a = lit.pixel(x, y);
                const QRgb b = shaded.pixel(x, y);
                if (a == background && b == background)
                    continue;
                ++covered;
                const int d = std::max({std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)),
                                        std::abs(qBlue(a) - qBlue(b))});
                differing += d > 2 ? 1 : 0;
            }
        }
        QVERIFY2(covered > 2000, qPrintable(QString::number(covered)));
        // Only edge pixels may fall the other way, where the two placings
        // round a vertex differently.
        QVERIFY2(differing * 100 < covered, qPrintable(QStringLiteral("%1 of %2").arg(differing).arg(covered)));
    }

    void lineStrips()
    {
        LineBatch lines;
        const float first[9] = {0, 0, 0, 1, 0, 0, 2, 0, 0};
        const float more[6] = {3, 0, 0, 4, 0, 0};
        lines.beginStrip(qRgb(255, 0, 0));
        lines.extend(first, 3);
        // The second run goes on from the first one's last point.
        lines.extend(more, 2);
        lines.beginStrip(qRgb(0, 255, 0));
        lines.extend(more, 1);
        lines.segment(qglviewer::Vec(0, 0, 0), qglviewer::Vec(0, 1, 0), qRgb(0, 0, 255));
        QCOMPARE(lines.segmentCount(), 5);
        // One strip of five points, the lone point dropped, the segment a
        // strip of its own: seven vertices for five segments.
        QCOMPARE(lines.stripFirsts(), (std::vector<int32_t>{0, 5}));
        QCOMPARE(lines.stripCounts(), (std::vector<int32_t>{5, 2}));
        QCOMPARE(lines.vertexCount(), 7);
        lines.clear();
        QCOMPARE(lines.segmentCount(), 0);
    }

    void labelAtlas()
    {
        LabelAtlas atlas;
        const QRect a = atlas.place("...00C8");
        const QRect b = atlas.place("...1234");
        QCOMPARE(atlas.place("...00C8"), a);
        QCOMPARE(atlas.entries(), 2);
        QVERIFY(!a.isEmpty());
        QVERIFY(!a.intersects(b));
        int ink = 0;
        for (int y = a.top(); y <= a.bottom(); ++y)
            for (int x = a.left(); x <= a.right(); ++x)
                ink += qAlpha(atlas.image().pixel(x, y)) > 128 ? 1 : 0;
        QVERIFY(ink > 10);
        // Many more texts than fit start the atlas again rather than fail.
        for (int i = 0; i < 20000; ++i)
            QVERIFY(!atlas.place(QStringLiteral("label %1").arg(i)).isEmpty());
        QVERIFY(atlas.entries() < 20000);
    }
};

QTEST_MAIN(tst_Glyphs)
#include "tst_glyphs.moc"
