#pragma once
// A drawn key cap ("⇧", "Tab"): the label at 12 medium on a rounded control
// background with a hard one-point shadow below and a faint border; at least
// 24 × 22.
//
//   keys->addWidget(new KeyCap("⇥"));
#include <QString>
#include <QWidget>

namespace sorvane {

class KeyCap final : public QWidget {
public:
    explicit KeyCap(QString label, QWidget* parent = nullptr);
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString label_;
};

}  // namespace sorvane
