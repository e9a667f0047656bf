#pragma once
// The update section of the about page: the running version with the
// section's status line and a check button, the download's progress bar, the
// verified release with its notes and the install button, and a note when
// automatic checks are off. A thin view over UpdatePanelModel, redrawn on
// each change of it; main thread only.
//
//   auto* live = new UpdatePanelView();                 // its own live model
//   auto* fixed = new UpdatePanelView(previewModel);    // previews
#include <QWidget>
#include <memory>

#include "kit/update/UpdatePanelModel.h"

class QLabel;
class QVBoxLayout;

namespace sorvane {

class SettingsButton;
class SettingsText;

// A 6-high capsule track with the fraction filled in the accent colour,
// never narrower than its own height.
class ProgressBar final : public QWidget {
public:
    explicit ProgressBar(double fraction = 0, QWidget* parent = nullptr);
    void setFraction(double fraction);
    double fraction() const { return fraction_; }
    // The filled width within `width`.
    static double filledWidth(double fraction, double width);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    double fraction_;
};

class UpdatePanelView final : public QWidget {
public:
    explicit UpdatePanelView(QWidget* parent = nullptr);
    explicit UpdatePanelView(std::shared_ptr<UpdatePanelModel> model, QWidget* parent = nullptr);
    ~UpdatePanelView() override;

    UpdatePanelModel& model() const { return *model_; }

private:
    void build();
    void refresh();
    QWidget* makeReleaseBox(const UpdateRelease& release);

    std::shared_ptr<UpdatePanelModel> model_;
    QVBoxLayout* layout_ = nullptr;
    SettingsText* status_ = nullptr;
    SettingsButton* checkButton_ = nullptr;
    ProgressBar* progress_ = nullptr;
    QWidget* releaseBox_ = nullptr;
    std::optional<UpdateRelease> shownRelease_;
    ObserverSubscription observer_;
};

}  // namespace sorvane
