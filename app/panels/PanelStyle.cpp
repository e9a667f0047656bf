#include "app/panels/PanelStyle.h"

#include <QFontDatabase>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QPalette>
#include <QStaticText>
#include <QSvgRenderer>
#include <QTextOption>
#include <algorithm>
#include <cmath>
#include <map>
#include <tuple>

#include "app/panels/QtText.h"

// Resources of a static library are only linked in when referenced, and the
// reference must stand outside any namespace.
static void initPanelResources() {
    Q_INIT_RESOURCE(panels);
}

namespace sorvane {

namespace {

QFont::Weight qtWeight(FontWeight weight) {
    switch (weight) {
        case FontWeight::regular:
            return QFont::Normal;
        case FontWeight::medium:
            return QFont::Medium;
        case FontWeight::semibold:
            return QFont::DemiBold;
    }
    return QFont::Normal;
}

// The desktop's UI font first; the CJK family covers the Han characters that
// Latin UI fonts lack, so candidates never come out as boxes.
const QStringList& panelFamilies() {
    static const QStringList families = [] {
        QStringList list;
        const QString general = QFontDatabase::systemFont(QFontDatabase::GeneralFont).family();
        if (!general.isEmpty()) list << general;
        list << QStringLiteral("Noto Sans CJK SC") << QStringLiteral("Noto Sans CJK");
        return list;
    }();
    return families;
}

QColor withAlpha(QColor color, double alpha) {
    color.setAlphaF(static_cast<float>(color.alphaF() * alpha));
    return color;
}

QColor ink(int grey, double alpha) {
    return QColor::fromRgbF(grey / 255.0f, grey / 255.0f, grey / 255.0f, alpha);
}

struct CachedFont {
    QFont font;
    QFontMetricsF metrics;
};

// The panels use a handful of sizes; building a font and its metrics for
// every measured string costs more than the measuring. Main thread only.
const CachedFont& cachedFont(const FontSpec& spec) {
    // Never destroyed: fonts must not outlive the application object's exit.
    static auto& cache = *new std::map<std::pair<int, int>, CachedFont>();
    const int pixels = static_cast<int>(std::lround(spec.size));
    const auto key = std::make_pair(pixels, static_cast<int>(spec.weight));
    auto it = cache.find(key);
    if (it == cache.end()) {
        QFont font;
        font.setFamilies(panelFamilies());
        font.setPixelSize(pixels);
        font.setWeight(qtWeight(spec.weight));
        font.setHintingPreference(QFont::PreferNoHinting);
        it = cache.emplace(key, CachedFont{font, QFontMetricsF(font)}).first;
    }
    return it->second;
}

// Candidates come back key after key ("的", "是", the same words on the
// next page), and shaping a string costs far more than drawing it. Each
// string is shaped once per font and its glyphs kept; the tables are bounded
// and start afresh when full. Main thread only.
class ShapedTexts {
public:
    const QStaticText& get(std::string_view text, const FontSpec& spec) {
        const long size = std::lround(spec.size);
        const int weight = static_cast<int>(spec.weight);
        auto it = texts_.find(std::make_tuple(size, weight, text));  // no copy of the text to look
        if (it != texts_.end()) return it->second;
        if (texts_.size() >= kLimit) texts_.clear();
        const auto key = std::make_tuple(size, weight, std::string(text));
        QStaticText shaped(qstring(text));
        shaped.setTextFormat(Qt::PlainText);
        shaped.setPerformanceHint(QStaticText::AggressiveCaching);
        shaped.prepare(QTransform(), cachedFont(spec).font);
        return texts_.emplace(key, std::move(shaped)).first->second;
    }

private:
    static constexpr std::size_t kLimit = 4096;
    std::map<std::tuple<long, int, std::string>, QStaticText, std::less<>> texts_;
};

ShapedTexts& shapedTexts() {
    static auto& texts = *new ShapedTexts();  // never destroyed, like the fonts
    return texts;
}

}  // namespace

QFont panelFont(const FontSpec& spec) {
    return cachedFont(spec).font;
}

// Role order is ColorRole's order.
const PanelPalette& PanelPalette::light() {
    static const PanelPalette palette({
        ink(0, 0.85),              // label
        ink(0, 0.50),              // secondaryLabel
        ink(0, 0.26),              // tertiaryLabel
        ink(0, 0.10),              // quaternaryLabel
        QColor(255, 255, 255),     // alternateSelectedText
        QColor(0x00, 0x7A, 0xFF),  // controlAccent
        QColor(0xFF, 0x95, 0x00),  // systemOrange
        QColor(0x00, 0x64, 0xE1),  // selectedContentBackground
        QColor(0xEC, 0xEC, 0xEC),  // windowBackground
        ink(0, 0.10),              // separator
    });
    return palette;
}

const PanelPalette& PanelPalette::dark() {
    static const PanelPalette palette({
        ink(255, 0.85),
        ink(255, 0.55),
        ink(255, 0.25),
        ink(255, 0.10),
        QColor(255, 255, 255),
        QColor(0x0A, 0x84, 0xFF),
        QColor(0xFF, 0x9F, 0x0A),
        QColor(0x00, 0x58, 0xD0),
        QColor(0x32, 0x32, 0x32),
        ink(255, 0.10),
    });
    return palette;
}

const PanelPalette& PanelPalette::current() {
    const QColor window = QGuiApplication::palette().color(QPalette::Window);
    return window.lightnessF() < 0.5 ? dark() : light();
}

QColor PanelPalette::color(const ColorSpec& spec) const {
    const auto index = static_cast<std::size_t>(spec.role);
    const QColor base = index < roles_.size() ? roles_[index] : QColor(Qt::black);
    return withAlpha(base, spec.alpha);
}

StyledParagraph styledParagraph(const std::vector<StyledRun>& runs, const PanelPalette* palette) {
    StyledParagraph paragraph;
    for (const StyledRun& run : runs) {
        const QString piece = qstring(run.text);
        if (piece.isEmpty()) continue;
        QTextLayout::FormatRange range;
        range.start = static_cast<int>(paragraph.text.size());
        range.length = static_cast<int>(piece.size());
        range.format.setFont(panelFont(run.style.font));
        if (palette) range.format.setForeground(palette->color(run.style.color));
        paragraph.formats.append(range);
        paragraph.styles.push_back(run.style);
        paragraph.text += piece;
    }
    // The first run's font sets the height of an empty line.
    paragraph.base = runs.empty() ? FontSpec{} : runs.front().style.font;
    return paragraph;
}

std::unique_ptr<QTextLayout> layoutParagraph(const StyledParagraph& paragraph, int from, double width,
                                             double top, Qt::LayoutDirection direction) {
    from = std::clamp(from, 0, static_cast<int>(paragraph.text.size()));
    QList<QTextLayout::FormatRange> formats;
    for (const QTextLayout::FormatRange& range : paragraph.formats) {
        const int end = range.start + range.length;
        if (end <= from) continue;
        QTextLayout::FormatRange shifted = range;
        shifted.start = std::max(range.start, from) - from;
        shifted.length = end - from - shifted.start;
        formats.append(shifted);
    }
    auto layout = std::make_unique<QTextLayout>(from == 0 ? paragraph.text : paragraph.text.mid(from),
                                                panelFont(paragraph.base));
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    option.setTextDirection(direction);
    layout->setTextOption(option);
    layout->setFormats(formats);
    layout->setCacheEnabled(true);
    layout->beginLayout();
    double y = top;
    for (QTextLine line = layout->createLine(); line.isValid(); line = layout->createLine()) {
        line.setLeadingIncluded(true);
        line.setLineWidth(width);
        line.setPosition(QPointF(0, y));
        y += line.height();
    }
    layout->endLayout();
    return layout;
}

std::unique_ptr<QTextLayout> layoutRuns(const std::vector<StyledRun>& runs, double width,
                                        const PanelPalette* palette) {
    return layoutParagraph(styledParagraph(runs, palette), 0, width, 0, Qt::LayoutDirectionAuto);
}

LaidOutLines linesOf(const QTextLayout& layout) {
    LaidOutLines lines;
    const QString& text = layout.text();
    for (int i = 0; i < layout.lineCount(); ++i) {
        const QTextLine line = layout.lineAt(i);
        lines.size.width = std::max(lines.size.width, line.naturalTextWidth());
        lines.size.height += line.height();
        const int end = line.textStart() + line.textLength();
        if (i + 1 < layout.lineCount() && end > 0 && end <= text.size()) {
            const QChar last = text.at(end - 1);
            if (last != QLatin1Char('\n') && last != QChar::LineSeparator &&
                last != QChar::ParagraphSeparator)
                lines.wrapped = true;
        }
    }
    return lines;
}

const QtTextMetrics& QtTextMetrics::shared() {
    static const QtTextMetrics metrics;
    return metrics;
}

Size QtTextMetrics::measure(std::string_view text, const FontSpec& font) const {
    const QFontMetricsF& metrics = cachedFont(font).metrics;
    if (text.empty()) return {0, metrics.height()};
    return {shapedTexts().get(text, font).size().width(), metrics.height()};
}

Size QtTextMetrics::measureWrapped(const std::vector<StyledRun>& runs, double width) const {
    return linesOf(*layoutRuns(runs, width)).size;
}

void drawText(QPainter& painter, std::string_view text, const TextStyle& style, const PanelPalette& palette,
              double x, double y) {
    if (text.empty()) return;
    painter.setFont(cachedFont(style.font).font);
    painter.setPen(palette.color(style.color));
    // A static text is drawn with its top-left corner at the point.
    painter.drawStaticText(QPointF(x, y), shapedTexts().get(text, style.font));
}

std::optional<QImage> whiteTemplateIcon(const QString& resource, int side) {
    initPanelResources();
    QSvgRenderer renderer(resource);
    if (!renderer.isValid() || renderer.defaultSize().isEmpty()) return std::nullopt;
    const QSize pixels = renderer.defaultSize().scaled(QSize(side, side), Qt::KeepAspectRatio);
    QImage image(pixels, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    renderer.render(&painter);
    // Keep the drawing's alpha, whatever colour it uses.
    painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
    painter.fillRect(image.rect(), Qt::white);
    painter.end();
    return image;
}

}  // namespace sorvane
