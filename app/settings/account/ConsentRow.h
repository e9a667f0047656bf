#pragma once
// The consent sentence of the sign-in views: a check box "我已阅读并同意",
// then the links "《用户协议》" and "《隐私政策》" joined by "和", with no space
// between the pieces, so that they read as one sentence.
//
//   auto* consent = new ConsentRow(settingsFont(12), opener, [&](bool on) { store.setTermsAccepted(on); });
#include <QFont>
#include <QWidget>
#include <functional>

class QCheckBox;

namespace sorvane {

class UrlOpener;

class ConsentRow final : public QWidget {
public:
    // `toggled` runs when the user ticks or unticks the box.
    ConsentRow(const QFont& font, UrlOpener& opener, std::function<void(bool)> toggled,
               QWidget* parent = nullptr);

    QCheckBox* checkBox() const { return box_; }
    // Shows the consent without calling back.
    void setChecked(bool checked);

private:
    QCheckBox* box_;
};

}  // namespace sorvane
