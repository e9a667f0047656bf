// The about page offscreen, over a model in a temporary HOME.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QMouseEvent>
#include <QScrollBar>

#include "app/settings/Clipboard.h"
#include "app/settings/blocks/SettingsLinkRow.h"
#include "app/settings/pages/AboutPage.h"
#include "app/settings/style/SettingsText.h"
#include "app/settings/style/SettingsTheme.h"
#include "app/update/UpdatePanelView.h"
#include "platform/Bundle.h"
#include "tests/app/panels/PanelTestSupport.h"
#include "tests/support/RecordingNotificationCenter.h"
#include "tests/support/RecordingUrlOpener.h"
#include "tests/support/TempHome.h"
#include "tests/support/VirtualTime.h"

namespace sorvane {
namespace {

class RecordingClipboard final : public Clipboard {
public:
    void setPlainText(const QString& text) override { texts.append(text); }
    QStringList texts;
};

class AboutPageTest : public ::testing::Test {
protected:
    AboutPageTest() { testing::panelTestApp(); }
    ~AboutPageTest() override { SettingsTheme::setAppearance(SettingsAppearance::light); }

    std::unique_ptr<SettingsModel> model(std::optional<std::filesystem::path> notices,
                                         std::shared_ptr<UpdatePanelModel> update = nullptr) {
        SettingsModel::Inputs inputs;
        inputs.page = SettingsPage::about;
        inputs.settingsFile = AppSettingsFile{home_.path() / "settings.json", center_};
        inputs.billing = std::make_unique<MacBillingStore>(MacBillingStore::Services{}, time_);
        inputs.version = "1.2.3";
        inputs.noticesURL = std::move(notices);
        inputs.updatePreview = std::move(update);
        inputs.mainQueue = &time_;
        return std::make_unique<SettingsModel>(std::move(inputs));
    }

    static void click(QWidget* widget) {
        const QPointF centre(widget->width() / 2.0, widget->height() / 2.0);
        QMouseEvent press(QEvent::MouseButtonPress, centre, widget->mapToGlobal(centre), Qt::LeftButton,
                          Qt::LeftButton, Qt::NoModifier);
        QMouseEvent release(QEvent::MouseButtonRelease, centre, widget->mapToGlobal(centre), Qt::LeftButton,
                            Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(widget, &press);
        QApplication::sendEvent(widget, &release);
    }

    testing::TempHome home_;
    testing::VirtualTime time_;
    std::shared_ptr<testing::RecordingNotificationCenter> center_ =
        std::make_shared<testing::RecordingNotificationCenter>();
    testing::RecordingUrlOpener opener_;
    RecordingClipboard clipboard_;
};

TEST_F(AboutPageTest, CopiesExactlyTheShownCommandAndShowsTheVersion) {
    auto m = model(std::nullopt);
    AboutPage page(*m, opener_, clipboard_);
    page.resize(760, 900);
    page.show();
    EXPECT_EQ(page.versionLine()->text(), QStringLiteral("macOS \u00b7 1.2.3"));
    EXPECT_EQ(page.noticesRow(), nullptr);

    EXPECT_FALSE(page.copyButton()->isVisibleTo(&page));
    page.uninstallToggle()->click();
    ASSERT_TRUE(page.copyButton()->isVisibleTo(&page));
    page.copyButton()->click();
    const QString shown = page.commandLabel()->text();
    EXPECT_EQ(shown.toStdString(),
              "sudo \"/Library/Input Methods/SorvaneIME.app/Contents/Resources/uninstall.sh\" --purge");
    EXPECT_EQ(clipboard_.texts, QStringList{shown});

    // Turning dark with the page open: the command is light on the dark card,
    // the tiles take the dark variants.
    EXPECT_LT(page.commandLabel()->palette().color(QPalette::WindowText).lightness(), 128);
    SettingsTheme::setAppearance(SettingsAppearance::dark);
    EXPECT_EQ(page.commandLabel()->palette().color(QPalette::WindowText), SettingsTheme::label());
    EXPECT_GT(page.commandLabel()->palette().color(QPalette::WindowText).lightness(), 128);
    EXPECT_EQ(page.contactRow()->fields().color(), QColor(0x98, 0x98, 0x9D));
}

TEST_F(AboutPageTest, SupportRowsOpenTheirTargets) {
    // The one the build put into the bundle.
    const auto notices = Bundle::load(SORVANE_BUNDLE_DIR).resourcePath("THIRD-PARTY-NOTICES", "txt");
    ASSERT_TRUE(notices);
    auto m = model(notices);
    AboutPage page(*m, opener_, clipboard_);
    page.resize(760, 900);
    page.show();
    ASSERT_NE(page.noticesRow(), nullptr);
    click(page.noticesRow());
    click(page.contactRow());
    EXPECT_EQ(opener_.opened, (QList<QUrl>{QUrl::fromLocalFile(QString::fromStdString(notices->string())),
                                           QUrl(QStringLiteral("mailto:support@sorvane.example"))}));
    click(page.privacyRow());
    EXPECT_EQ(m->page(), SettingsPage::privacy);
}

TEST_F(AboutPageTest, TheUpdateSectionShowsThePreviewModelElseItsOwn) {
    const auto preview = UpdatePanelModel::preview(
        UpdatePanelPhase::ready(UpdatePanelModel::previewRelease()), std::nullopt, "0.2.0", true);
    auto withPreview = model(std::nullopt, preview);
    AboutPage previewPage(*withPreview, opener_, clipboard_);
    EXPECT_EQ(&previewPage.updateSection()->model(), preview.get());

    auto live = model(std::nullopt);
    AboutPage livePage(*live, opener_, clipboard_);
    EXPECT_NE(&livePage.updateSection()->model(), preview.get());
    EXPECT_EQ(livePage.updateSection()->model().phase().kind, UpdatePanelPhase::Kind::idle);
}

TEST_F(AboutPageTest, CheckingForUpdatesLeavesThePageWhereItWas) {
    UpdatePanelModel::Services services;
    services.mainQueue = &time_;
    services.startTask = [](std::function<void()>) {};  // the check stays under way
    services.makeEnvironment = [] { return UpdateEnvironment{}; };
    auto update =
        std::make_shared<UpdatePanelModel>(services, UpdatePanelPhase::idle(), std::nullopt, "1.2.3", true);
    auto m = model(std::nullopt, update);
    AboutPage page(*m, opener_, clipboard_);
    page.resize(760, 420);
    page.show();
    page.activateWindow();
    QApplication::setActiveWindow(&page);
    QElapsedTimer laidOut;
    laidOut.start();
    while (page.verticalScrollBar()->maximum() == 0 && laidOut.elapsed() < 10'000)
        QApplication::processEvents();
    auto* check = page.updateSection()->findChild<QAbstractButton*>("check");
    page.ensureWidgetVisible(check);
    const int before = page.verticalScrollBar()->value();
    ASSERT_GT(page.verticalScrollBar()->maximum(), before) << "the page has room to scroll on";
    click(check);
    ASSERT_EQ(update->phase().kind, UpdatePanelPhase::Kind::checking);
    EXPECT_FALSE(check->isEnabled());
    EXPECT_EQ(page.verticalScrollBar()->value(), before);
}

}  // namespace
}  // namespace sorvane
