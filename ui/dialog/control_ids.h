// Identifiers of the main window's controls, as the template and the message map name them.
#pragma once

namespace pelorin::ui {

inline constexpr int kIdcStatic = -1;  // labels and frames nobody addresses
inline constexpr int kIdcSubProgress = 1000;
inline constexpr int kIdcMode = 1001;
inline constexpr int kIdcFile = 1002;
inline constexpr int kIdcSection = 1003;
inline constexpr int kIdcOperation = 1004;
inline constexpr int kIdcMainProgress = 1006;
inline constexpr int kIdcTogglePanel = 1007;
inline constexpr int kIdcBrowse = 1008;
inline constexpr int kIdcSerialPort = 1009;
inline constexpr int kIdcXtal = 1010;
inline constexpr int kIdcEditor = 1013;
inline constexpr int kIdcStatusLine = 1014;
inline constexpr int kIdcSubPercent = 1015;
inline constexpr int kIdcMainPercent = 1016;
inline constexpr int kIdcChipType = 1018;
inline constexpr int kIdcMemoryType = 1019;
inline constexpr int kIdcMemorySize = 1020;
inline constexpr int kIdcSdramMode = 1021;
inline constexpr int kIdcStatusBar = 100;

}  // namespace pelorin::ui
