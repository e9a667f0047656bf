#pragma once
// The secure text field of the key page: dots instead of the key, a rounded
// border, colours of the appearance (taken at paint time like every settings
// widget).
#include <QLineEdit>

namespace sorvane {

class KeyField final : public QLineEdit {
public:
    explicit KeyField(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};

}  // namespace sorvane
