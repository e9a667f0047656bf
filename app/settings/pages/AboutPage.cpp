#include "app/settings/pages/AboutPage.h"

#include <QLabel>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>

#include "app/panels/QtText.h"
#include "app/settings/Clipboard.h"
#include "app/settings/UrlOpener.h"
#include "app/settings/blocks/SettingsButton.h"
#include "app/settings/blocks/SettingsGroup.h"
#include "app/settings/blocks/SettingsHeading.h"
#include "app/settings/blocks/SettingsLinkRow.h"
#include "app/settings/style/AppGlyphTile.h"
#include "app/settings/style/SettingsText.h"
#include "app/settings/style/SettingsTheme.h"
#include "app/update/UpdatePanelView.h"
#include "kit/settings/SorvaneLinks.h"

namespace sorvane {
namespace {

QWidget* identityBlock(const std::string& version, SettingsText*& versionLine) {
    auto* block = new QWidget;
    auto* stack = new QVBoxLayout(block);
    stack->setContentsMargins(28, 28, 28, 28);
    stack->setSpacing(14);
    stack->addWidget(new AppGlyphTile(72), 0, Qt::AlignHCenter);
    auto* name = new SettingsText(QStringLiteral("Sorvane输入法"), settingsFont(21, QFont::Bold));
    name->setAlignment(Qt::AlignHCenter);
    stack->addWidget(name);
    versionLine = new SettingsText(QStringLiteral("macOS · ") + qstring(version), settingsFont(12),
                                   SettingsText::Tone::secondary);
    versionLine->setAlignment(Qt::AlignHCenter);
    stack->addWidget(versionLine);
    return block;
}

// From the path's bytes, percent-encoded: a folder name that is not UTF-8
// keeps its bytes, which a detour through QString would replace.
QUrl fileURL(const std::filesystem::path& path) {
    const QByteArray bytes(path.c_str(), static_cast<qsizetype>(path.native().size()));
    return QUrl::fromEncoded("file://" + bytes.toPercentEncoding("/"));
}

}  // namespace

AboutPage::AboutPage(SettingsModel& model, UrlOpener& opener, Clipboard& clipboard, QWidget* parent)
    : SettingsScroll(parent) {
    addBlock(
        new SettingsHeading(QStringLiteral("关于Sorvane"), QStringLiteral("拼音夹英文，停顿一下就是英文。")));

    auto* identity = new SettingsGroup;
    identity->addRow(identityBlock(model.version(), version_));
    addBlock(identity);

    // Previews and renderings hand in a fixed section; the live page's
    // section makes its own model and checks on its own.
    auto* updating = new SettingsGroup(QStringLiteral("软件更新"));
    auto* padded = new QWidget;
    auto* padding = new QVBoxLayout(padded);
    padding->setContentsMargins(20, 20, 20, 20);
    updates_ = model.updatePreview() ? new UpdatePanelView(model.updatePreview()) : new UpdatePanelView();
    padding->addWidget(updates_);
    updating->addRow(padded);
    addBlock(updating);

    auto* support = new SettingsGroup(QStringLiteral("支持"));
    contact_ =
        new SettingsLinkRow(QStringLiteral("envelope"), &SettingsTheme::systemGray,
                            QStringLiteral("联系支持"), qstring(SorvaneLinks::supportAddress), std::nullopt,
                            [&opener] { opener.open(QUrl(qstring(SorvaneLinks::support))); });
    support->addRow(contact_);
    support->addDivider();
    privacy_ = new SettingsLinkRow(
        QStringLiteral("lock.shield"), [] { return QColor::fromRgbF(0.05f, 0.54f, 0.51f); },
        QStringLiteral("隐私与数据"), std::nullopt, std::nullopt,
        [&model] { model.show(SettingsPage::privacy); });
    support->addRow(privacy_);
    if (const auto notices = model.noticesURL()) {
        support->addDivider();
        const QUrl url = fileURL(*notices);
        notices_ = new SettingsLinkRow(QStringLiteral("doc.text"), &SettingsTheme::systemGray,
                                       QStringLiteral("开源许可"), std::nullopt, std::nullopt,
                                       [&opener, url] { opener.open(url); });
        support->addRow(notices_);
    }
    addBlock(support);

    // The uninstall help, folded until asked for.
    auto* help = new QWidget;
    auto* helpColumn = new QVBoxLayout(help);
    helpColumn->setContentsMargins(0, 0, 0, 0);
    auto* fold = new QToolButton;
    fold->setText(QStringLiteral("卸载帮助"));
    fold->setCheckable(true);
    fold->setAutoRaise(true);
    fold->setArrowType(Qt::RightArrow);
    fold->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    fold->setFont(settingsFont(13));
    SettingsTheme::applyPerAppearance(fold, [fold] {
        const QString ink = SettingsTheme::secondaryLabel().name(QColor::HexArgb);
        fold->setStyleSheet(
            QStringLiteral("QToolButton { border: none; background: transparent; color: %1; }").arg(ink));
    });
    fold_ = fold;
    helpColumn->addWidget(fold, 0, Qt::AlignLeft);

    auto* body = new QWidget;
    auto* bodyColumn = new QVBoxLayout(body);
    bodyColumn->setContentsMargins(0, 10, 0, 0);
    bodyColumn->setSpacing(10);
    auto* explanation =
        new SettingsText(QStringLiteral("在终端运行以下命令，会删除输入法及其本机数据。"), settingsFont(12));
    explanation->setWraps(true);
    bodyColumn->addWidget(explanation);
    command_ = new QLabel(QString::fromUtf8(uninstallCommand));
    command_->setFont(settingsFont(11, QFont::Normal, true));
    command_->setTextFormat(Qt::PlainText);
    command_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    SettingsTheme::useLabelColor(command_);
    bodyColumn->addWidget(command_);
    copy_ = new SettingsButton(QStringLiteral("拷贝卸载命令"), SettingsBorderedStyle{});
    QObject::connect(copy_, &QAbstractButton::clicked, copy_,
                     [&clipboard] { clipboard.setPlainText(QString::fromUtf8(uninstallCommand)); });
    bodyColumn->addWidget(copy_, 0, Qt::AlignLeft);
    body->setVisible(false);
    helpColumn->addWidget(body);
    QObject::connect(fold, &QToolButton::toggled, body, [fold, body](bool open) {
        fold->setArrowType(open ? Qt::DownArrow : Qt::RightArrow);
        body->setVisible(open);
    });
    addBlock(help);

    auto* notice = new SettingsText(QStringLiteral("© 2026 Kestrum. 保留所有权利。"), settingsFont(11),
                                    SettingsText::Tone::secondary);
    notice->setAlignment(Qt::AlignHCenter);
    addBlock(notice);
}

}  // namespace sorvane
