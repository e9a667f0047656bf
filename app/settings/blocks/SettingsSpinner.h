#pragma once
// The small progress spinner shown beside a button while a check runs.
// Turns while visible.
#include <QTimer>
#include <QWidget>

namespace sorvane {

class SettingsSpinner final : public QWidget {
public:
    explicit SettingsSpinner(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    QTimer timer_;
    int step_ = 0;
};

}  // namespace sorvane
