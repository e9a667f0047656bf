#pragma once
// The keys page ("hotkeys"): which Shift switches between Chinese and the
// English mode, whether a double Shift locks plain English, and a fixed
// legend of the keys that take a suggestion with a drawn sample panel, and
// under the switching group why the last change was not saved, when it was
// not. Holds no state: reads and writes through the settings model and
// redraws on its changes. Main thread only; the model must outlive the page.
//
//   auto* page = new HotkeysPage(model);
#include <QString>

#include "app/settings/blocks/SettingsScroll.h"
#include "kit/settings/SettingsModel.h"

class QComboBox;

namespace sorvane {

class SettingsSwitch;
class SaveFailureLine;
class SettingsText;

class HotkeysPage final : public SettingsScroll {
public:
    explicit HotkeysPage(SettingsModel& model, QWidget* parent = nullptr);
    ~HotkeysPage() override;

    // What the picker and the line under it say for a toggle key.
    static QString pickerTitle(ToggleKey key);
    static QString description(ToggleKey key);

    QComboBox* picker() const { return picker_; }
    SettingsText* descriptionLine() const { return description_; }
    SettingsSwitch* lockSwitch() const { return lock_; }
    QWidget* lockRow() const { return lockRow_; }
    SaveFailureLine* saveFailureLine() const { return failure_; }

private:
    void refresh();

    SettingsModel& model_;
    QComboBox* picker_;
    SettingsText* description_;
    QWidget* lockRow_;
    SettingsSwitch* lock_;
    SaveFailureLine* failure_;
    ObserverSubscription observer_;
};

}  // namespace sorvane
