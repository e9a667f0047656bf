#pragma once
// The product's mark: the bundle resource "AppMark.png", read once per
// process on first use (through BundleResources, so a test can point the
// lookup elsewhere), and the Dock icon drawn from it.
//
//   if (auto icon = AppMark::dockIcon()) app.setWindowIcon(QPixmap::fromImage(*icon));
#include <QImage>
#include <optional>

namespace sorvane::AppMark {

// Absent when the bundle has no readable mark; never read again after that.
const std::optional<QImage>& image();
// 512 × 512: the mark on a white rounded plate inset 51.2 on every side,
// corner radius 92.16; the band outside stays transparent. Nothing without
// a mark.
std::optional<QImage> dockIcon();
// Forgets the image read so that the next use reads the resource again.
// Tests only: the product reads the mark once.
void resetForTests();

}  // namespace sorvane::AppMark
