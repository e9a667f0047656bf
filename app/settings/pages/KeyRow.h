#pragma once
// One line of a key legend: an optional verb and key caps in a column of a
// fixed width, then the text. Rows stacked with the same width line their
// texts up.
//
//   new KeyRow(std::nullopt, {"⇥"}, "采纳改写", 140);
#include <QString>
#include <QStringList>
#include <QWidget>
#include <optional>

namespace sorvane {

class SettingsText;

class KeyRow final : public QWidget {
public:
    KeyRow(const std::optional<QString>& verb, const QStringList& keys, const QString& text, double keysWidth,
           QWidget* parent = nullptr);

    QWidget* keyColumn() const { return keyColumn_; }
    SettingsText* text() const { return text_; }

private:
    QWidget* keyColumn_;
    SettingsText* text_;
};

}  // namespace sorvane
