#pragma once

#include <cstdint>

// The map's numbers, kept in one place.
namespace Map {

// Scene objects.
constexpr double kDefaultBoxSize = 2.0;              // length, width and height of a new box
constexpr double kSizeChangeEpsilon2 = 1e-10;        // squared change below which a size is the same
constexpr double kNodeDefaultSize = 0.15;            // height and radius of a new node glyph
constexpr double kTagSizeFactor = 1.5;               // a new tag's glyph is this much larger
constexpr double kTagSize = 0.225;                   // a tag's glyph after it was inactive
constexpr double kInactiveSize = 0.0000015;          // too small to see
constexpr int kHistoryLimit = 36000;                 // positions a node keeps
constexpr int kNodeSlices = 20;
constexpr int kNodeSphereStacks = 6;
constexpr double kNodeDiskFactor = 0.75;             // top disk radius / glyph radius
constexpr double kLabelHeightFactor = 1.1;           // label anchor above the glyph, by height
constexpr float kTrailWidth = 1.0f;

// Label size by camera distance.
constexpr double kLabelFullSizeDistance = 20.0;
constexpr double kLabelHiddenDistance = 38.0;
constexpr double kLabelShrinkDistance = 20.0;        // the size falls by all of 10 points over this
constexpr int kLabelPointSize = 10;

// Zones.
constexpr double kZoneHysteresis = 0.10;             // metres a tag must be outside before it leaves
constexpr int kZoneDefaultLevel = 10;
constexpr int kZoneMaxLevel = 100000;               // what the zones tab and a file may set
constexpr char kZoneDefaultUnderColor[] = "#00FF00";
constexpr char kZoneDefaultOverColor[] = "#FF0000";
constexpr char kZoneDefaultType[] = "STORAGE";
constexpr char kZoneSelfId[] = "__SELF__";
constexpr char kZoneSelfTarget[] = "__self__";
constexpr double kZoneLineWidth = 3.0;
constexpr double kZoneFaceAlpha = 0.25;

// Pictures (floor plans, node images): no side beyond this many pixels,
// whatever the GL allows. A finer plan adds memory, not detail: 4096 pixels
// over a 100 m hall are 2.4 cm a pixel, and the padded texture stays at
// most 64 MiB.
constexpr int kMaxTextureSide = 4096;

// View defaults.
constexpr double kDefaultFloorSize = 3.0;
constexpr double kDefaultFloorExtend = 0.0;
constexpr double kDefaultMinTemp = 12.0;
constexpr double kDefaultMaxTemp = 35.0;
constexpr int kDefaultHistorySize = 100;
constexpr int kDefaultMinPqf = 0;
constexpr unsigned kDefaultNodeMode = 0x02;
constexpr int kRepaintIntervalMs = 50;
constexpr int kBackgroundRed = 161;
constexpr int kBackgroundGreen = 187;
constexpr int kBackgroundBlue = 206;
constexpr int kSelectedLighten = 120;

// Node mode bits.
constexpr unsigned kModeTemperature = 0x01;
constexpr unsigned kModeLabels = 0x02;
constexpr unsigned kModeHistory = 0x04;
constexpr unsigned kMode1D = 0x08;
constexpr unsigned kModeArrow = 0x10;

// Measurement figures.
constexpr double kSpeedOfLight = 299702547.0;        // metres per second, in air
constexpr int kCircleVertices = 64;
constexpr int kHyperbolaPoints = 40;
constexpr double kHyperbolaStart = -2.0;
constexpr double kHyperbolaStep = 0.1;
constexpr double kDegenerateLengthFactor = 100.0;    // straight TDOA loci, in baseline lengths
constexpr double kMinSegment2 = 1e-10;               // squared length below which points coincide

// GL.
constexpr int kMaxGlErrorsReported = 16;             // glGetError without a context never ends

// Floor grid.
constexpr double kGridLength = 50.0;
constexpr double kGridWidth = 50.0;
constexpr double kGridResolution = 1.0;             // metres between lines
constexpr int kGridStepSize = 5;                     // every n-th line is a major one
constexpr int kGridMaxStepSize = 1000;
constexpr int kGridMaxLines = 4000;                  // per direction; a finer grid is not drawn
constexpr int kGridMaxStoreys = 100;
constexpr char kGridXAxisColor[] = "#ff0000";
constexpr char kGridYAxisColor[] = "#00a000";
constexpr char kGridAxisColor[] = "#8a9aa8";
constexpr char kGridStepAxisColor[] = "#4a5560";

// Heat map.
constexpr double kHeatX = -20.0;
constexpr double kHeatY = -20.0;
constexpr double kHeatLength = 40.0;
constexpr double kHeatWidth = 40.0;
constexpr double kHeatHeight = 10.0;
constexpr double kHeatResolution = 1.0;              // metres, side of a cell
constexpr int kHeatMaxCellsPerSide = 512;            // a finer request is coarsened to this
constexpr int kHeatPqfMin = 0;
constexpr int kHeatPqfMax = 100;
constexpr int kHeatRssiMin = -100;
constexpr int kHeatRssiMax = -60;
constexpr int kHeatHdopMin = 1;
constexpr int kHeatHdopMax = 5;
constexpr int kHeatScaleLimit = 1000;                // the scale's ends stay within plus and minus this
constexpr float kHeatAlpha = 0.5f;

} // namespace Map

