#pragma once
// The about page ("about"): the application's mark, name and version, the
// software-update section, the support rows (contact, privacy, open-source
// notices when the bundle carries them), a folded uninstall help with a
// button that copies the command, and the maker's notice. Reads the settings
// model and changes pages through it. Main thread only; the model, the
// opener and the clipboard must outlive the page.
//
//   auto* page = new AboutPage(model, UrlOpener::live(), Clipboard::live());
#include "app/settings/blocks/SettingsScroll.h"
#include "kit/settings/SettingsModel.h"

class QAbstractButton;
class QLabel;

namespace sorvane {

class Clipboard;
class SettingsLinkRow;
class SettingsText;
class UpdatePanelView;
class UrlOpener;

class AboutPage final : public SettingsScroll {
public:
    // Quoted: the path holds blanks.
    static constexpr const char* uninstallCommand =
        "sudo \"/Library/Input Methods/SorvaneIME.app/Contents/Resources/uninstall.sh\" --purge";

    AboutPage(SettingsModel& model, UrlOpener& opener, Clipboard& clipboard, QWidget* parent = nullptr);

    SettingsText* versionLine() const { return version_; }
    UpdatePanelView* updateSection() const { return updates_; }
    SettingsLinkRow* contactRow() const { return contact_; }
    SettingsLinkRow* privacyRow() const { return privacy_; }
    SettingsLinkRow* noticesRow() const { return notices_; }
    QAbstractButton* uninstallToggle() const { return fold_; }
    QLabel* commandLabel() const { return command_; }
    QAbstractButton* copyButton() const { return copy_; }

private:
    SettingsText* version_;
    UpdatePanelView* updates_;
    SettingsLinkRow* contact_;
    SettingsLinkRow* privacy_;
    SettingsLinkRow* notices_ = nullptr;
    QAbstractButton* fold_;
    QLabel* command_;
    QAbstractButton* copy_;
};

}  // namespace sorvane
