#pragma once

// The shapes every node is drawn with, compiled once into GL display lists
// with the map's context current: a unit sphere, a unit cylinder along +z,
// the top disk and the flat orientation arrow. A node scales them to its own
// radius and height.
class NodeGlyphs
{
public:
    NodeGlyphs() = default;
    NodeGlyphs(const NodeGlyphs &) = delete;
    NodeGlyphs &operator=(const NodeGlyphs &) = delete;

    // Compiles the lists on first use; the context must be current.
    void ensure();
    // Deletes the lists; the context must be current.
    void release();
    bool isReady() const { return m_base != 0; }

    // GL state for a run of glyphs: lighting on, colour tracking the
    // material, normals renormalised after scaling. end() restores it.
    void begin() const;
    void end() const;

    void sphere() const;
    void cylinder() const;
    void disk(bool textured) const;
    // The arrow in the given body colour (its faces are shaded by hand).
    static void arrow(float r, float g, float b);
    // The box round a glyph of the given radius and height, for picking:
    // drawn directly, since display lists are not safe in selection mode on
    // every GL (Mesa's software GL crashes on them).
    static void pickBox(double radius, double height);

private:
    unsigned int m_base = 0;
};
