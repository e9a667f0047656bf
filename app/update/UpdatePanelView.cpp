#include "app/update/UpdatePanelView.h"

#include <QAccessible>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QTextLayout>
#include <QVBoxLayout>
#include <cmath>

#include "app/settings/blocks/SettingsButton.h"
#include "app/settings/style/SettingsText.h"
#include "app/settings/style/SettingsTheme.h"
#include "platform/qt/QtMainQueue.h"

namespace sorvane {
namespace {

// The platform's text styles, in logical pixels.
constexpr double bodySize = 13;
constexpr double calloutSize = 12;
constexpr double captionSize = 10;
constexpr int maxNoteLines = 8;

QColor failureRed() {
    return QColor::fromRgbF(1.0, 0.23, 0.19);
}

class ReleaseBox final : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        QPainterPath shape;
        shape.addRoundedRect(QRectF(rect()), 8, 8);
        QColor fill = SettingsTheme::secondaryLabel();
        fill.setAlphaF(0.08);
        painter.fillPath(shape, fill);
    }
};

// The notes as they fit `width`: whole, or their first eight lines with the
// eighth cut short for an ellipsis. The lines are laid out as the label lays
// out its text, with the font's fallbacks, so what is kept is exactly eight
// lines there too.
QString fittedNotes(const QString& notes, const QFont& font, double width) {
    QString forLayout = notes;
    forLayout.replace(QLatin1Char('\n'), QChar::LineSeparator);  // same length, so positions hold
    QTextLayout layout(forLayout, font);
    QTextOption option;
    option.setWrapMode(QTextOption::WordWrap);
    layout.setTextOption(option);
    int lines = 0, lastStart = 0, lastEnd = 0;
    bool more = false;
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(width);
        if (++lines > maxNoteLines) {
            more = true;
            break;
        }
        lastStart = line.textStart();
        lastEnd = line.textStart() + line.textLength();
    }
    layout.endLayout();
    if (!more) return notes;
    const QString ellipsis = QStringLiteral("…");
    const QFontMetricsF metrics(font);
    int end = lastEnd;
    while (end > lastStart &&
           (notes.at(end - 1).isSpace() ||
            metrics.horizontalAdvance(notes.mid(lastStart, end - lastStart) + ellipsis) > width))
        end = layout.previousCursorPosition(end);
    return notes.left(end) + ellipsis;
}

// The release notes: wrapped, selectable, at most eight whole lines.
class NotesLabel final : public QLabel {
public:
    explicit NotesLabel(QString notes) : notes_(std::move(notes)) {
        setWordWrap(true);
        setText(notes_);
    }

protected:
    void resizeEvent(QResizeEvent* event) override {
        // Changing the text asks the layout again, which then fits this width.
        const QString shown = fittedNotes(notes_, font(), contentsRect().width());
        if (shown != text()) setText(shown);
        QLabel::resizeEvent(event);
    }

private:
    QString notes_;
};

QString percentText(double fraction) {
    return QString::number(static_cast<long long>(std::round(fraction * 100))) + "%";
}

}  // namespace

ProgressBar::ProgressBar(double fraction, QWidget* parent) : QWidget(parent), fraction_(fraction) {
    setFixedHeight(6);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setAccessibleName("下载进度");
    setAccessibleDescription(percentText(fraction));
}

void ProgressBar::setFraction(double fraction) {
    fraction_ = fraction;
    setAccessibleDescription(percentText(fraction));
    update();
}

double ProgressBar::filledWidth(double fraction, double width) {
    const double filled = fraction > 1 ? width : width * std::max(fraction, 0.0);
    return std::max(filled, 6.0);
}

QSize ProgressBar::sizeHint() const {
    return {200, 6};
}

void ProgressBar::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const double h = height();
    QColor track = SettingsTheme::secondaryLabel();
    track.setAlphaF(0.2);
    QPainterPath whole;
    whole.addRoundedRect(QRectF(0, 0, width(), h), h / 2, h / 2);
    painter.fillPath(whole, track);
    QPainterPath filled;
    filled.addRoundedRect(QRectF(0, 0, filledWidth(fraction_, width()), h), h / 2, h / 2);
    painter.fillPath(filled, SettingsTheme::blue());
}

UpdatePanelView::UpdatePanelView(QWidget* parent)
    : UpdatePanelView(UpdatePanelModel::live(QtMainQueue::shared()), parent) {}

UpdatePanelView::UpdatePanelView(std::shared_ptr<UpdatePanelModel> model, QWidget* parent)
    : QWidget(parent), model_(std::move(model)) {
    build();
    observer_ = model_->observeChanges([this] { refresh(); });
    refresh();
}

UpdatePanelView::~UpdatePanelView() = default;

void UpdatePanelView::build() {
    layout_ = new QVBoxLayout(this);
    layout_->setContentsMargins(0, 0, 0, 0);
    layout_->setSpacing(10);

    auto* header = new QHBoxLayout;
    header->setSpacing(12);
    auto* texts = new QVBoxLayout;
    texts->setSpacing(3);
    texts->addWidget(new SettingsText("当前版本 " + QString::fromStdString(model_->currentVersion()),
                                      settingsFont(bodySize)));
    status_ = new SettingsText({}, settingsFont(calloutSize), SettingsText::Tone::secondary);
    status_->setObjectName("status");
    status_->setWraps(true);
    texts->addWidget(status_);
    header->addLayout(texts, 1);
    header->addSpacing(8);
    checkButton_ = new SettingsButton("检查更新", SettingsBorderedStyle{});
    checkButton_->setObjectName("check");
    connect(checkButton_, &QAbstractButton::clicked, this, [this] { model_->check(); });
    header->addWidget(checkButton_, 0, Qt::AlignVCenter);
    layout_->addLayout(header);

    progress_ = new ProgressBar;
    progress_->setObjectName("progress");
    layout_->addWidget(progress_);

    if (!model_->autoCheck()) {
        auto* note = new SettingsText("自动检查更新已关闭，可在「通用」里打开。", settingsFont(captionSize),
                                      SettingsText::Tone::secondary);
        note->setObjectName("autoCheckNote");
        note->setWraps(true);
        layout_->addWidget(note);
    }
}

QWidget* UpdatePanelView::makeReleaseBox(const UpdateRelease& release) {
    auto* box = new ReleaseBox;
    box->setObjectName("releaseBox");
    auto* rows = new QVBoxLayout(box);
    rows->setContentsMargins(10, 10, 10, 10);
    rows->setSpacing(8);
    if (release.mandatory == true) {
        auto* important = new SettingsText("重要更新", settingsFont(captionSize, QFont::DemiBold));
        important->setObjectName("mandatory");
        SettingsTheme::applyPerAppearance(
            important, [important] { important->setColor(SettingsTheme::systemOrange()); });
        rows->addWidget(important);
    }
    const QString notes = QString::fromStdString(release.notes.value_or("")).trimmed();
    if (!notes.isEmpty()) {
        auto* label = new NotesLabel(notes);
        label->setObjectName("notes");
        label->setFont(settingsFont(calloutSize));
        label->setTextInteractionFlags(Qt::TextSelectableByMouse);
        SettingsTheme::useLabelColor(label);
        rows->addWidget(label);
    }
    auto* action = new QHBoxLayout;
    action->setSpacing(10);
    auto* install =
        new SettingsButton("安装并重启输入法", SettingsActionStyle{SettingsTheme::blue(), Qt::white});
    install->setObjectName("install");
    // The platform's regular prominent button, not the full-width action.
    install->setFixedSize(install->sizeHint().width(), 28);
    connect(install, &QAbstractButton::clicked, this, [this] { model_->install(); });
    action->addWidget(install, 0, Qt::AlignVCenter);
    auto* hint = new SettingsText("会打开 macOS 安装器并要求输入管理员密码；无需注销。",
                                  settingsFont(captionSize), SettingsText::Tone::secondary);
    hint->setWraps(true);
    action->addWidget(hint, 1);
    rows->addLayout(action);
    return box;
}

void UpdatePanelView::refresh() {
    const UpdatePanelPhase& phase = model_->phase();
    status_->setText(QString::fromStdString(model_->statusLine()));
    if (phase.kind == UpdatePanelPhase::Kind::failed) {
        status_->setColor(failureRed());
    } else {
        status_->setTone(SettingsText::Tone::secondary);
    }
    // Disabling the focused button would hand the focus on to the next
    // widget down the page, and the scroll area would scroll to show it: the
    // section itself keeps the focus, and the page stays where it is.
    if (phase.isBusy() && checkButton_->hasFocus()) setFocus(Qt::OtherFocusReason);
    checkButton_->setEnabled(!phase.isBusy());

    const bool downloading = phase.kind == UpdatePanelPhase::Kind::downloading;
    progress_->setVisible(downloading);
    if (downloading) progress_->setFraction(phase.fraction);

    const auto release = phase.kind == UpdatePanelPhase::Kind::ready ? phase.release : std::nullopt;
    if (release != shownRelease_) {
        delete releaseBox_;
        releaseBox_ = nullptr;
        if (release) {
            releaseBox_ = makeReleaseBox(*release);
            // Under the progress bar, above the automatic-check note.
            layout_->insertWidget(2, releaseBox_);
        }
        shownRelease_ = release;
    }
}

}  // namespace sorvane
