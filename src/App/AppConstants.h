#pragma once

// The application shell's fixed names and numbers, kept in one place.

namespace AppConstants {

constexpr char kOrganisationName[] = "Sentrova";
constexpr char kApplicationName[] = "sentrova-manager";
// Asked for first; Qt 5 does not ship it, so kFallbackStyle is used instead.
constexpr char kPreferredStyle[] = "cleanlooks";
constexpr char kFallbackStyle[] = "Fusion";

// The program version as the masters' tools know it (shown after "v").
constexpr int kVersionNumber = 17081400;

constexpr int kWindowFontPointSize = 8;
constexpr int kMenuBarFontPointSize = 10;

// The console keeps at most this many lines (blocks of plain text).
constexpr int kConsoleBlockLimit = 1000;
constexpr char kConsoleTimeFormat[] = "HH:mm:ss";
constexpr char kConsoleDockObjectName[] = "debugwindow";

// Object names of the view docks, fixed for the program (the measurement
// tool's is spelt so on purpose).
constexpr char kNodeListDockObjectName[] = "list";
constexpr char kNodeDetailsDockObjectName[] = "details";
constexpr char kOrientationDockObjectName[] = "orientation";
constexpr char kMeasurementDockObjectName[] = "measuerment";

// Every tab carries the logo; a recording map tab shows the capture icon.
constexpr char kLogoIcon[] = ":/images/logo.png";
constexpr char kCaptureIcon[] = ":/images/capture.png";

constexpr int kStatusMessageMs = 5000;
constexpr int kMaxRecentFiles = 5;
constexpr char kCaptureFileFilter[] = "RTLS Files (*.dat)";

// Preference store keys and the defaults written when a key is absent.
constexpr char kSettingsFileKey[] = "sentrova/name";
constexpr char kDefaultSettingsFile[] = "sentrova.json";
constexpr char kSiteFileKey[] = "site";
constexpr char kDefaultSiteFile[] = "test-site.ini";
constexpr char kRecentFilesKey[] = "recentFileList";

// The id with which "Force firmware update" addresses every node when none is selected.
constexpr unsigned long long kAllNodesId = 0xFFFFFFFFFFFFFFFFULL;

} // namespace AppConstants
