#pragma once
// The general page ("general"): the way into the system's keyboard settings,
// the automatic update check switch, the way to the about page where updates
// are checked and installed, why the last change was not saved (when it was
// not), and a note on password fields. Holds no state:
// reads and writes through the settings model. Main thread only; the model
// and the opener must outlive the page.
//
//   auto* page = new GeneralPage(model, UrlOpener::live());
#include "app/settings/blocks/SettingsScroll.h"
#include "kit/settings/SettingsModel.h"

namespace sorvane {

class SaveFailureLine;
class SettingsLinkRow;
class SettingsSwitch;
class SettingsText;
class UrlOpener;

class GeneralPage final : public SettingsScroll {
public:
    // Handed to the opener unchanged; the system's keyboard pane, where it
    // has one.
    static constexpr const char* keyboardSettingsURL =
        "x-apple.systempreferences:com.apple.Keyboard-Settings.extension";

    GeneralPage(SettingsModel& model, UrlOpener& opener, QWidget* parent = nullptr);
    ~GeneralPage() override;

    SettingsLinkRow* keyboardRow() const { return keyboard_; }
    SettingsSwitch* updateSwitch() const { return update_; }
    SettingsLinkRow* updatesRow() const { return updates_; }
    SaveFailureLine* saveFailureLine() const { return failure_; }

private:
    void refresh();

    SettingsModel& model_;
    SettingsLinkRow* keyboard_;
    SettingsSwitch* update_;
    SettingsLinkRow* updates_;
    SaveFailureLine* failure_;
    ObserverSubscription observer_;
};

}  // namespace sorvane
