// The settings window benchmark's baseline: what Qt itself costs to show a
// window of the settings window's size with a line of Chinese text, from
// process start to the first painted frame.
#include <QApplication>
#include <QLabel>
#include <QVBoxLayout>
#include <QWidget>

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("Sorvane输入法"));
    auto* layout = new QVBoxLayout(&window);
    layout->addWidget(new QLabel(QStringLiteral("快捷键：Shift 切换中文与英文")));
    window.resize(760, 780);
    window.show();
    return application.exec();
}
