#include "app/settings/pages/TypingRhythmPage.h"

#include <QAreaSeries>
#include <QCategoryAxis>
#include <QChart>
#include <QChartView>
#include <QGraphicsLayout>
#include <QGraphicsSimpleTextItem>
#include <QHBoxLayout>
#include <QLineSeries>
#include <QVBoxLayout>
#include <QValueAxis>

#include "app/panels/QtText.h"
#include "app/settings/blocks/SettingsGroup.h"
#include "app/settings/blocks/SettingsHeading.h"
#include "app/settings/style/SettingsText.h"
#include "app/settings/style/SettingsTheme.h"
#include "kit/settings/TypingRhythmPresenter.h"

namespace sorvane {
namespace {

namespace P = TypingRhythmPresenter;
using Tone = SettingsText::Tone;

double msecs(TypingRhythm::Date date) {
    return double(std::chrono::duration_cast<std::chrono::milliseconds>(date.time_since_epoch()).count());
}

SettingsText* text(std::string_view value, const QFont& font, Tone tone = Tone::primary, bool wraps = false) {
    auto* label = new SettingsText(qstring(value), font, tone);
    label->setWraps(wraps);
    return label;
}

QColor withOpacity(QColor color, double opacity) {
    color.setAlphaF(float(color.alphaF() * opacity));
    return color;
}

// A column padded 18 with the given spacing, as every section of the page is.
QVBoxLayout* section(QWidget* host, int spacing) {
    auto* column = new QVBoxLayout(host);
    column->setContentsMargins(18, 18, 18, 18);
    column->setSpacing(spacing);
    return column;
}

// A chart without the toolkit's frame, background or legend, so it sits on the card.
QChart* bareChart() {
    auto* chart = new QChart;
    chart->setBackgroundVisible(false);
    chart->setPlotAreaBackgroundVisible(false);
    chart->legend()->hide();
    chart->setMargins(QMargins(0, 14, 14, 0));  // room for the rules' labels and the last tick
    chart->layout()->setContentsMargins(0, 0, 0, 0);
    return chart;
}

void styleAxis(QAbstractAxis* axis) {
    axis->setLabelsFont(settingsFont(10));
    axis->setLabelsColor(SettingsTheme::secondaryLabel());
    axis->setGridLineColor(SettingsTheme::separator());
    axis->setLinePenColor(SettingsTheme::separator());
    axis->setTitleFont(settingsFont(10));
    axis->setTitleBrush(SettingsTheme::secondaryLabel());
}

// A bar as an area between two lines. Assistive tools read series names: the
// area is named after what its x measures, its top line after its y.
void addRect(QChart* chart, double x0, double x1, double y, const QColor& fill, std::string_view xValue,
             std::string_view yValue) {
    auto* upper = new QLineSeries;
    upper->setName(qstring(yValue));
    upper->append(x0, y);
    upper->append(x1, y);
    auto* lower = new QLineSeries;
    lower->append(x0, 0);
    lower->append(x1, 0);
    auto* area = new QAreaSeries(upper, lower);
    area->setName(qstring(xValue));
    area->setBrush(fill);
    area->setPen(Qt::NoPen);
    chart->addSeries(area);
}

QLineSeries* addLine(QChart* chart, QPointF from, QPointF to, const QPen& pen, std::string_view name) {
    auto* line = new QLineSeries;
    line->setName(qstring(name));
    line->append(from);
    line->append(to);
    line->setPen(pen);
    chart->addSeries(line);
    return line;
}

QPen rulePen(const QColor& color, double width, std::vector<qreal> dashes = {}) {
    QPen pen(color, width);
    pen.setCapStyle(Qt::FlatCap);
    if (!dashes.empty()) {
        // Qt counts dashes in pen widths.
        for (auto& d : dashes) d /= width;
        pen.setDashPattern(QList<qreal>(dashes.begin(), dashes.end()));
    }
    return pen;
}

// A rule's label at the rule's place, on the side given: above the plot for
// a vertical rule, just above the line for a horizontal one. A label that
// would run past the plot's edge goes to the rule's other side instead, so
// it is never cut off.
void annotate(QChart* chart, QPointF at, Qt::Orientation rule, const QString& label, P::Alignment alignment,
              const QFont& font, const QColor& color) {
    auto* item = new QGraphicsSimpleTextItem(label, chart);
    item->setFont(font);
    item->setBrush(color);
    const auto place = [chart, item, at, rule, alignment] {
        const QPointF point = chart->mapToPosition(at);
        const QRectF plot = chart->plotArea();
        const QRectF box = item->boundingRect();
        const double after = point.x() + 3, before = point.x() - 3 - box.width();
        double x = alignment == P::Alignment::leading ? after : before;
        if (x + box.width() > plot.right()) x = before;
        if (x < plot.left()) x = after;
        const double bottom = rule == Qt::Vertical ? plot.top() : point.y();
        item->setPos(x, bottom - box.height() - 1);
    };
    QObject::connect(chart, &QChart::plotAreaChanged, chart, place);
    place();
}

// Qt Charts centres an axis title; this one stands at the trailing end. The
// axis keeps its title's room, with the title itself not painted.
void titleAtTrailingEnd(QChart* chart, QAbstractAxis* axis) {
    axis->setTitleBrush(Qt::transparent);
    auto* title = new QGraphicsSimpleTextItem(axis->titleText(), chart);
    title->setFont(axis->titleFont());
    title->setBrush(SettingsTheme::secondaryLabel());
    const auto place = [chart, title] {
        const QRectF box = title->boundingRect();
        title->setPos(chart->plotArea().right() - box.width(), chart->size().height() - box.height());
    };
    QObject::connect(chart, &QChart::plotAreaChanged, chart, place);
    place();
}

// Ticks only at whole numbers: the toolkit's own choice of five ticks puts
// halves between small counts, which whole-number labels then repeat.
QValueAxis* wholeAxis(P::Scale scale) {
    auto* axis = new QValueAxis;
    axis->setRange(0, double(scale.top));
    axis->setTickCount(int(scale.top / scale.step) + 1);
    axis->setLabelFormat(QStringLiteral("%d"));
    return axis;
}

QChartView* viewOf(QChart* chart, int height) {
    auto* view = new QChartView(chart);
    view->setRenderHint(QPainter::Antialiasing);
    view->setFixedHeight(height);
    view->setFrameShape(QFrame::NoFrame);
    view->setStyleSheet(QStringLiteral("background: transparent"));
    return view;
}

QWidget* histogramChart(const P::Page& page) {
    auto* chart = bareChart();
    for (const auto& bar : page.bins) {
        if (bar.count > 0)
            addRect(chart, bar.xStart, bar.xEnd, double(bar.count),
                    SettingsTheme::histogramBar(bar.beforePause), P::Copy::gapValue, P::Copy::countValue);
    }
    auto* x = new QCategoryAxis;
    x->setRange(0, double(P::longestMs));
    x->setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
    for (auto tick : P::histogramTicks) x->append(QString::number(tick), double(tick));
    x->setTitleText(qstring(P::Copy::milliseconds));
    auto* y = wholeAxis(page.countScale);
    const double top = y->max();
    styleAxis(x);
    styleAxis(y);
    if (page.p90Rule) {
        addLine(chart, {page.p90Rule->value, 0}, {page.p90Rule->value, top},
                rulePen(SettingsTheme::secondaryLabel(), 1, {4, 3}), P::Copy::p90Value);
    }
    addLine(chart, {page.pauseRule.value, 0}, {page.pauseRule.value, top},
            rulePen(SettingsTheme::systemOrange(), 2), P::Copy::pauseMark);
    chart->addAxis(x, Qt::AlignBottom);
    chart->addAxis(y, Qt::AlignLeft);
    for (auto* series : chart->series()) {
        series->attachAxis(x);
        series->attachAxis(y);
    }
    if (page.p90Rule) {
        annotate(chart, {page.p90Rule->value, top}, Qt::Vertical, qstring(page.p90Rule->label),
                 page.p90Rule->alignment, settingsFont(10), SettingsTheme::secondaryLabel());
    }
    annotate(chart, {page.pauseRule.value, top}, Qt::Vertical, qstring(page.pauseRule.label),
             page.pauseRule.alignment, settingsFont(10, QFont::Medium), SettingsTheme::systemOrange());
    titleAtTrailingEnd(chart, x);
    return viewOf(chart, 180);
}

QWidget* hourlyChart(const P::Page& page) {
    auto* chart = bareChart();
    const double from = msecs(page.hoursFrom), to = msecs(page.hoursTo);
    for (const auto& hour : page.hours) {
        const double start = msecs(hour.start);
        if (start < from || start >= to) continue;
        // One hour wide, with a little air between neighbours.
        addRect(chart, start + 240'000, start + 3'360'000, double(hour.medianMs),
                withOpacity(SettingsTheme::blue(), 0.75), P::Copy::hourValue, P::Copy::median);
    }
    auto* x = new QCategoryAxis;
    x->setRange(from, to);
    x->setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
    for (const auto& tick : page.hourTicks) x->append(qstring(tick.label), msecs(tick.at));
    auto* y = wholeAxis(page.hoursScale);
    y->setTitleText(qstring(P::Copy::milliseconds));
    styleAxis(x);
    styleAxis(y);
    const double pause = page.hoursPauseRule.value;
    addLine(chart, {from, pause}, {to, pause}, rulePen(SettingsTheme::systemOrange(), 1.5, {5, 3}),
            P::Copy::pauseMark);
    chart->addAxis(x, Qt::AlignBottom);
    chart->addAxis(y, Qt::AlignLeft);
    for (auto* series : chart->series()) {
        series->attachAxis(x);
        series->attachAxis(y);
    }
    annotate(chart, {from, pause}, Qt::Horizontal, qstring(page.hoursPauseRule.label), P::Alignment::leading,
             settingsFont(10), SettingsTheme::systemOrange());
    return viewOf(chart, 160);
}

QWidget* emptyText() {
    auto* host = new QWidget;
    auto* column = section(host, 0);
    // The frame is at least 90 high; the text stands in its middle both ways.
    auto* frame = new QWidget;
    frame->setMinimumHeight(90);
    auto* centred = new QVBoxLayout(frame);
    centred->setContentsMargins(0, 0, 0, 0);
    auto* label = text(P::Copy::empty, settingsFont(12), Tone::secondary, true);
    label->setAlignment(Qt::AlignHCenter);
    centred->addStretch(1);
    centred->addWidget(label);
    centred->addStretch(1);
    column->addWidget(frame);
    return host;
}

QWidget* figureColumn(std::string_view title, const std::string& value) {
    auto* host = new QWidget;
    auto* column = new QVBoxLayout(host);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(4);
    column->addWidget(text(title, settingsFont(11), Tone::secondary));
    column->addWidget(text(value, settingsFont(15, QFont::Medium, true)));
    return host;
}

QWidget* summary(const P::Page& page) {
    auto* host = new QWidget;
    auto* column = section(host, 14);
    auto* pauseRow = new QHBoxLayout;
    pauseRow->setSpacing(6);
    pauseRow->addWidget(text(std::to_string(page.pauseMs), settingsFont(34, QFont::DemiBold, true)), 0,
                        Qt::AlignBaseline);
    pauseRow->addWidget(text(P::Copy::milliseconds, settingsFont(13), Tone::secondary), 0, Qt::AlignBottom);
    pauseRow->addStretch(1);
    pauseRow->addWidget(text(P::Copy::pauseRule, settingsFont(11), Tone::secondary), 0, Qt::AlignBottom);
    column->addLayout(pauseRow);
    column->addWidget(text(page.explanation, settingsFont(12), Tone::secondary, true));
    auto* divider = new QFrame;
    divider->setFrameShape(QFrame::HLine);
    divider->setStyleSheet(QStringLiteral("color: ") + SettingsTheme::separator().name(QColor::HexArgb));
    column->addWidget(divider);
    auto* figures = new QHBoxLayout;
    figures->setSpacing(0);
    figures->addWidget(figureColumn(P::Copy::samples, std::to_string(page.sampleCount)), 1);
    figures->addWidget(figureColumn(P::Copy::median, P::figure(page.medianMs)), 1);
    figures->addWidget(figureColumn(P::Copy::p90, P::figure(page.p90Ms)), 1);
    column->addLayout(figures);
    return host;
}

QWidget* chartSection(QWidget* chart, std::string_view caption) {
    auto* host = new QWidget;
    auto* column = section(host, 10);
    column->addWidget(chart);
    column->addWidget(text(caption, settingsFont(11), Tone::secondary, true));
    return host;
}

// Swaps the one row of a group's card for a new one.
QWidget* replaceRow(SettingsGroup* group, QWidget* old, QWidget* fresh) {
    if (old) {
        group->card()->layout()->replaceWidget(old, fresh);
        delete old;
    } else {
        group->addRow(fresh);
    }
    return fresh;
}

}  // namespace

TypingRhythmPage::TypingRhythmPage(SnapshotSource source, TypingRhythm::Snapshot initial, QWidget* parent)
    : SettingsScroll(parent), source_(std::move(source)), snapshot_(std::move(initial)) {
    addBlock(new SettingsHeading(qstring(P::Copy::header), qstring(P::Copy::subtitle)));
    int i = 0;
    for (auto title : {P::Copy::pauseGroup, P::Copy::histogramGroup, P::Copy::hoursGroup})
        addBlock(groups_[i++] = new SettingsGroup(qstring(title)));
    auto* rules = text(TypingRhythm::rulesText(), settingsFont(11), Tone::secondary, true);
    addBlock(rules);
    // The charts and the divider keep the colours they are built with.
    SettingsTheme::applyPerAppearance(this, [this] { rebuild(); });
    timer_.setInterval(std::chrono::milliseconds(refreshInterval));
    QObject::connect(&timer_, &QTimer::timeout, this, [this] { refresh(); });
}

void TypingRhythmPage::rebuild() {
    const auto page =
        P::present(snapshot_, std::chrono::system_clock::now(), TypingRhythm::Calendar::current());
    summary_ = replaceRow(groups_[0], summary_, summary(page));
    histogram_ = replaceRow(
        groups_[1], histogram_,
        page.hasSamples ? chartSection(histogramChart(page), P::Copy::histogramCaption) : emptyText());
    hours_ =
        replaceRow(groups_[2], hours_,
                   page.hasSamples ? chartSection(hourlyChart(page), P::Copy::hoursCaption) : emptyText());
}

void TypingRhythmPage::refresh() {
    if (!source_) return;
    TypingRhythm::Snapshot fresh = source_();
    if (fresh == snapshot_) return;
    snapshot_ = std::move(fresh);
    rebuild();
}

void TypingRhythmPage::showEvent(QShowEvent* event) {
    SettingsScroll::showEvent(event);
    timer_.start();
}

void TypingRhythmPage::hideEvent(QHideEvent* event) {
    timer_.stop();
    SettingsScroll::hideEvent(event);
}

}  // namespace sorvane
