#pragma once
// Colours of single settings pieces that the theme does not name.
//
//   IconTile("qrcode", SettingsColors::weChatGreen(), 30);
#include <QColor>

namespace sorvane::SettingsColors {

// The WeChat sign-in card's tiles and the account summary row.
inline QColor weChatGreen() {
    return QColor::fromRgbF(0.03, 0.73, 0.36);
}

}  // namespace sorvane::SettingsColors
