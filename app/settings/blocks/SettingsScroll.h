#pragma once
// The scrolling column of a settings page: content stacked with 22 between
// blocks, at most 700 wide, padded 38 left and right, 28 above and 36 below,
// centred in the window, on the page background of the appearance.
//
//   auto* page = new SettingsScroll;
//   page->addBlock(new SettingsHeading("隐私与数据", "…"));
//   page->addBlock(group);
#include <QScrollArea>

class QVBoxLayout;

namespace sorvane {

class SettingsScroll : public QScrollArea {
public:
    static constexpr int columnWidth = 700;
    static constexpr int sidePadding = 38;

    explicit SettingsScroll(QWidget* parent = nullptr);

    void addBlock(QWidget* block);
    void addBlock(QLayout* block);
    // The column (inside the padding), for tests and pages that measure it.
    QWidget* column() const { return column_; }
    QVBoxLayout* columnLayout() const { return columnLayout_; }

private:
    QWidget* column_;
    QVBoxLayout* columnLayout_;
};

}  // namespace sorvane
