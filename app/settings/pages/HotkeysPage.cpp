#include "app/settings/pages/HotkeysPage.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include "app/settings/blocks/SaveFailureLine.h"
#include "app/settings/blocks/SettingsGroup.h"
#include "app/settings/blocks/SettingsHeading.h"
#include "app/settings/blocks/SettingsSwitch.h"
#include "app/settings/pages/KeyRow.h"
#include "app/settings/pages/MockSuggestionPanel.h"
#include "app/settings/style/SettingsText.h"
#include "app/settings/style/SettingsTheme.h"

namespace sorvane {
namespace {

constexpr double keysWidth = 140;

// A title over a secondary line, as the switch rows show them.
QVBoxLayout* titled(const QString& title, const QString& subtitle, int spacing) {
    auto* column = new QVBoxLayout;
    column->setSpacing(spacing);
    column->addWidget(new SettingsText(title, settingsFont(13)));
    auto* note = new SettingsText(subtitle, settingsFont(11), SettingsText::Tone::secondary);
    note->setWraps(true);
    column->addWidget(note);
    return column;
}

}  // namespace

QString HotkeysPage::pickerTitle(ToggleKey key) {
    switch (key) {
        case ToggleKey::eitherShift:
            return QStringLiteral("任一 Shift");
        case ToggleKey::leftShift:
            return QStringLiteral("左 Shift");
        case ToggleKey::rightShift:
            return QStringLiteral("右 Shift");
        case ToggleKey::off:
            return QStringLiteral("不使用");
    }
    return {};
}

QString HotkeysPage::description(ToggleKey key) {
    switch (key) {
        case ToggleKey::eitherShift:
            return QStringLiteral("单击左边或右边的 Shift 都能切换；按住 Shift 打字照常输入大写。");
        case ToggleKey::leftShift:
            return QStringLiteral("只有左 Shift 切换，右 Shift 用来打大写和符号。");
        case ToggleKey::rightShift:
            return QStringLiteral("只有右 Shift 切换，左 Shift 用来打大写和符号。");
        case ToggleKey::off:
            return QStringLiteral("Shift 不再切换中文和Sorvane，只用来打大写和符号。");
    }
    return {};
}

HotkeysPage::HotkeysPage(SettingsModel& model, QWidget* parent)
    : SettingsScroll(parent),
      model_(model),
      picker_(new QComboBox),
      description_(new SettingsText(QString(), settingsFont(11), SettingsText::Tone::secondary)),
      lockRow_(new QWidget),
      lock_(new SettingsSwitch),
      failure_(new SaveFailureLine) {
    addBlock(new SettingsHeading(QStringLiteral("快捷键"),
                                 QStringLiteral("熟悉的按键，更顺手的表达。改动立即生效。")));

    auto* switching = new SettingsGroup(QStringLiteral("中文 / Sorvane切换"));
    auto* choice = new QVBoxLayout;
    choice->setContentsMargins(18, 18, 18, 18);
    choice->setSpacing(8);
    auto* pickerRow = new QHBoxLayout;
    pickerRow->addWidget(new SettingsText(QStringLiteral("切换键"), settingsFont(13)));
    pickerRow->addStretch(1);
    for (ToggleKey key : allToggleKeys) picker_->addItem(pickerTitle(key), static_cast<int>(key));
    picker_->setFont(settingsFont(13));
    picker_->setAccessibleName(QStringLiteral("切换键"));
    picker_->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    pickerRow->addWidget(picker_);
    choice->addLayout(pickerRow);
    description_->setWraps(true);
    choice->addWidget(description_);
    switching->addRow(choice);
    switching->addDivider(0);
    auto* lockLine = new QHBoxLayout(lockRow_);
    lockLine->setContentsMargins(18, 18, 18, 18);
    lockLine->addLayout(titled(QStringLiteral("双击 Shift 锁定纯英文"),
                               QStringLiteral("锁定后直接输入，不经过 AI；单击回到中文。"), 4),
                        1);
    lock_->setAccessibleName(QStringLiteral("双击 Shift 锁定纯英文"));
    lockLine->addWidget(lock_, 0, Qt::AlignVCenter);
    switching->addRow(lockRow_);
    addBlock(switching);
    addBlock(failure_);

    auto* accepting = new SettingsGroup(QStringLiteral("Sorvane模式的采纳提示"));
    auto* legend = new QVBoxLayout;
    legend->setContentsMargins(20, 20, 20, 20);
    legend->setSpacing(12);
    legend->addWidget(
        new KeyRow(std::nullopt, {QStringLiteral("⇥ Tab")}, QStringLiteral("采纳规范句"), keysWidth));
    legend->addWidget(new KeyRow(std::nullopt, {QStringLiteral("⇧⇥ Shift + Tab")},
                                 QStringLiteral("采纳整句补全"), keysWidth));
    legend->addWidget(new KeyRow(std::nullopt, {QStringLiteral("⏎ Return")},
                                 QStringLiteral("原样输入你打出的内容"), keysWidth));
    auto* sample = new QVBoxLayout;
    sample->setSpacing(8);
    sample->addWidget(
        new SettingsText(QStringLiteral("采纳示意"), settingsFont(12), SettingsText::Tone::secondary));
    sample->addWidget(
        new MockSuggestionPanel(AcceptKeys::tabNormalized, QStringLiteral("wo xiang book a table")), 0,
        Qt::AlignLeft);
    legend->addLayout(sample);
    accepting->addRow(legend);
    addBlock(accepting);

    QObject::connect(picker_, &QComboBox::activated, this, [this](int index) {
        AppSettings next = model_.settings();
        next.toggleKey = static_cast<ToggleKey>(picker_->itemData(index).toInt());
        model_.setSettings(next);
    });
    QObject::connect(lock_, &QAbstractButton::toggled, this, [this](bool on) {
        model_.setLockSwitch(on);
        refresh();  // an ignored change shows the model's value again
    });
    observer_ = model_.observeChanges([this] { refresh(); });
    refresh();
}

HotkeysPage::~HotkeysPage() = default;

void HotkeysPage::refresh() {
    const ToggleKey key = model_.settings().toggleKey;
    {
        const QSignalBlocker quiet(picker_);
        picker_->setCurrentIndex(picker_->findData(static_cast<int>(key)));
    }
    description_->setText(description(key));
    lockRow_->setEnabled(key != ToggleKey::off);
    // Shown off while Shift switches nothing; the stored value stays.
    {
        const QSignalBlocker quiet(lock_);
        lock_->setChecked(model_.lockSwitch());
    }
    failure_->follow(model_.saveFailure());
}

}  // namespace sorvane
