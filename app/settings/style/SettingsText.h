#pragma once
// A line or paragraph of settings text whose colour follows the appearance.
// Painted at paint time from SettingsTheme, so a switch between light and
// dark needs no rebuild.
//
//   auto* note = new SettingsText("…", settingsFont(12), SettingsText::Tone::secondary);
//   note->setWraps(true);        // as many lines as it needs, grows the layout
//   title->setMinimumScale(0.75); // one line, shrinks before it is cut short
#include <QColor>
#include <QFont>
#include <QString>
#include <QWidget>

namespace sorvane {

class SettingsText : public QWidget {
public:
    // warning: what did not work out, in the system orange.
    enum class Tone { primary, secondary, tertiary, accent, warning, fixed };

    SettingsText(const QString& text, const QFont& font, Tone tone = Tone::primary,
                 QWidget* parent = nullptr);

    const QString& text() const { return text_; }
    void setText(const QString& text);
    void setTone(Tone tone);
    // A colour that does not follow the appearance (Tone::fixed).
    void setColor(const QColor& color);
    QColor color() const;
    void setTextFont(const QFont& font);
    const QFont& textFont() const { return font_; }
    void setWraps(bool wraps);
    void setMinimumScale(double scale);
    void setAlignment(Qt::Alignment alignment);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
    bool hasHeightForWidth() const override { return wraps_; }
    int heightForWidth(int width) const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void changedShape();

    QString text_;
    QFont font_;
    Tone tone_;
    QColor color_;
    bool wraps_ = false;
    double minimumScale_ = 1.0;
    Qt::Alignment alignment_ = Qt::AlignLeft | Qt::AlignVCenter;
};

}  // namespace sorvane
