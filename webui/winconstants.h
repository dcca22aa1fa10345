#pragma once
// Win32 values the pages and the window procedures still speak: show commands,
// hit-test answers, the tray mouse messages and the reserved command ids.

#include <cstdint>

namespace webui {

namespace showcmd {
constexpr int kHide = 0;             // SW_HIDE
constexpr int kShowNormal = 1;       // SW_SHOWNORMAL
constexpr int kShowMinimized = 2;    // SW_SHOWMINIMIZED
constexpr int kMaximize = 3;         // SW_MAXIMIZE
constexpr int kShowNoActivate = 4;   // SW_SHOWNOACTIVATE
constexpr int kShow = 5;             // SW_SHOW
constexpr int kMinimize = 6;         // SW_MINIMIZE
constexpr int kShowMinNoActive = 7;  // SW_SHOWMINNOACTIVE
constexpr int kShowNA = 8;           // SW_SHOWNA
constexpr int kRestore = 9;          // SW_RESTORE
constexpr int kShowDefault = 10;     // SW_SHOWDEFAULT
constexpr int kForceMinimize = 11;   // SW_FORCEMINIMIZE
}  // namespace showcmd

namespace hittest {
constexpr int kClient = 1;        // HTCLIENT
constexpr int kCaption = 2;       // HTCAPTION
constexpr int kLeft = 10;         // HTLEFT
constexpr int kRight = 11;        // HTRIGHT
constexpr int kTop = 12;          // HTTOP
constexpr int kTopLeft = 13;      // HTTOPLEFT
constexpr int kTopRight = 14;     // HTTOPRIGHT
constexpr int kBottom = 15;       // HTBOTTOM
constexpr int kBottomLeft = 16;   // HTBOTTOMLEFT
constexpr int kBottomRight = 17;  // HTBOTTOMRIGHT
}  // namespace hittest

namespace mouse {
constexpr std::intptr_t kLeftButtonDoubleClick = 0x0203;  // WM_LBUTTONDBLCLK
constexpr std::intptr_t kRightButtonDown = 0x0204;        // WM_RBUTTONDOWN
}  // namespace mouse

// Command ids with a fixed meaning in every web window (reached through tray
// menu items that carry them).
namespace command {
constexpr int kAbout = 105;
constexpr int kNothing = 106;
constexpr int kDestroy = 107;
constexpr int kBack = 32771;
constexpr int kForward = 32772;
constexpr int kZoomIn = 32800;
constexpr int kZoomOut = 32801;
constexpr int kZoomReset = 32802;
constexpr int kToggleEditable = 32804;
constexpr int kShowCookies = 32903;
}  // namespace command

// Tray icon actions of shellNotifyIcon.
namespace trayaction {
constexpr int kAdd = 0;     // NIM_ADD
constexpr int kModify = 1;  // NIM_MODIFY
constexpr int kDelete = 2;  // NIM_DELETE
}  // namespace trayaction

constexpr unsigned kExStyleTopmost = 0x00000008;  // WS_EX_TOPMOST

}  // namespace webui

namespace webui::syscmd {
constexpr std::uintptr_t kMinimize = 0xF020;  // SC_MINIMIZE
constexpr std::uintptr_t kMaximize = 0xF030;  // SC_MAXIMIZE
constexpr std::uintptr_t kRestore = 0xF120;   // SC_RESTORE
}  // namespace webui::syscmd
