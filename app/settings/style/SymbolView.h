#pragma once
// One symbol of the settings set on its own, in a colour of the appearance
// read at paint time ("qrcode" on the sign-in card, the avatar of the user
// row, the warning of an error row).
//
//   row->addWidget(new SymbolView("exclamationmark.triangle.fill", 13, SettingsTheme::systemOrange));
#include <QColor>
#include <QString>
#include <QWidget>
#include <functional>

namespace sorvane {

class SymbolView final : public QWidget {
public:
    SymbolView(QString symbol, double size, std::function<QColor()> color, QWidget* parent = nullptr);

    const QString& symbol() const { return symbol_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString symbol_;
    std::function<QColor()> color_;
};

}  // namespace sorvane
