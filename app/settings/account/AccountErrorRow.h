#pragma once
// The account store's last error as the sign-in views show it: an orange
// warning, the text verbatim (wrapped onto as many lines as it needs) and a
// "重试" button, aligned at the top, 8 apart.
//
//   auto* error = new AccountErrorRow(settingsFont(12), [&] { retry(); });
//   error->setText("服务器暂时不可用（503）");
#include <QFont>
#include <QString>
#include <QWidget>
#include <functional>

namespace sorvane {

class SettingsText;

class AccountErrorRow final : public QWidget {
public:
    AccountErrorRow(const QFont& font, std::function<void()> retry, QWidget* parent = nullptr);

    void setText(const QString& text);
    SettingsText* text() const { return text_; }

private:
    SettingsText* text_;
};

}  // namespace sorvane
