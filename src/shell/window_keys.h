// The keys under which the viewer's windows find each other: the numbers of their dialog
// templates.
#pragma once

namespace qelv::ui {

inline constexpr int kKeyMainWindow = 102;
inline constexpr int kKeyScreen1 = 129;
inline constexpr int kKeyScreen2 = 130;
inline constexpr int kKeyScreen3 = 169;
inline constexpr int kKeyControlBar = 135;
inline constexpr int kKeyInfoPanel = 136;
inline constexpr int kKeyMap = 137;
inline constexpr int kKeyFileList = 139;
inline constexpr int kKeyGraph = 155;
inline constexpr int kKeyScreenSettings = 159;
inline constexpr int kKeyTripTimeline = 170;

// Layout modes of the main window.
inline constexpr int kLayoutDefault = 0;
inline constexpr int kLayoutFitScreen = 1;
inline constexpr int kLayoutFullScreen = 2;

}  // namespace qelv::ui
