#pragma once
// The product's mark in a rounded tile (corners 0.24 × size, a faint border);
// without a mark in the bundle, a bold "拼" on white.
//
//   heading->addWidget(new AppGlyphTile(56));
#include <QWidget>

namespace sorvane {

class AppGlyphTile final : public QWidget {
public:
    explicit AppGlyphTile(double size, QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};

}  // namespace sorvane
