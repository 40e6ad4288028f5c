#pragma once

#include <QString>

#include <cstdint>

// The numbers of the node views: role bits and the role presets of the node
// list's menu, user data types, limits of the dialogs and the views' clocks.
namespace NodeTools {

// Role bits that the node list shows as icons.
constexpr uint32_t kRoleClockSource = 0x00002000;    // green clock
constexpr uint32_t kRoleBackupClock = 0x00001000;    // grey clock
constexpr uint32_t kRoleLocationCollector = 0x00080000; // red crosshair
constexpr uint32_t kRoleDataCollector = 0x00040000;  // blue clipboard
constexpr uint32_t kRoleNetworkUplink = 0x00010000;  // grey clipboard

// Role presets of the node list's "Mode" submenu and the settings dialog.
constexpr uint32_t kRolesMasterAuto = 0x00030904;
constexpr uint32_t kRolesAnchorAuto = 0x01000802;
constexpr uint32_t kRolesAnchorUwbForced = 0x81000802;
constexpr uint32_t kRolesAnchorInetForced = 0x80010802;
constexpr uint32_t kRolesAnchorOffloaderForced = 0x00030802;
constexpr uint32_t kRolesDataCollectorPair = 0x00140000;
constexpr uint32_t kRolesBackupClockBit = kRoleBackupClock;

// Node option bit of a node that is closed to the system.
constexpr uint32_t kOptionClosed = 0x40000000;

// "setUserData" types.
constexpr int kUserDataText = 250;
constexpr int kUserDataCursor = 249;
constexpr int kUserDataTarget = 248;
// Address of a text sent to every tag.
constexpr uint64_t kBroadcastId = 0xFFFF;

// Seats shown in the list: 0 <= seat < kSeatShownLimit.
constexpr int kSeatShownLimit = 128;
// Seats offered by the list's "Assign Seat" menu: 0 .. kSeatMenuCount - 1.
constexpr int kSeatMenuCount = 24;
// Groups offered by the tag menu: "No Group" (0) and 1 .. kGroupMenuLast.
constexpr int kGroupMenuLast = 4;
// Highest seat and group the settings dialog lets one enter.
constexpr int kSeatMax = 255;
constexpr int kGroupMax = 0xFFFF;

// "Set Cursor" dialog.
constexpr int kCursorInitial = 16;
constexpr int kCursorMin = -1;
constexpr int kCursorMax = 16;

// A rebuild of the node list waits this long for more requests to join it.
constexpr int kListRebuildDelayMs = 50;
// The row of a new node waits at most this long for more new rows to be
// made with it.
constexpr int kListBatchDelayMs = 100;
// The details and the measurement tool redraw at most this often.
constexpr int kViewRefreshMs = 250;

} // namespace NodeTools
