// Loaded into a child of the settings window benchmark (LD_PRELOAD), so that
// the process itself says when its first frame is painted, without a hook in
// the product. When the application object is made, an event filter waits
// for the first paint event of a widget in a shown window (not one drawn
// into an image beforehand); once that whole frame has been painted and
// flushed (the next turn of the event loop), one byte goes to the descriptor
// named by SORVANE_BENCH_FRAME_FD and the application quits.
#include <unistd.h>

#include <QCoreApplication>
#include <QEvent>
#include <QTimer>
#include <QWidget>
#include <cstdlib>

namespace {

class FirstFrameProbe final : public QObject {
public:
    FirstFrameProbe(int fd, QObject* parent) : QObject(parent), fd_(fd) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (!reported_ && event->type() == QEvent::Paint && watched->isWidgetType() &&
            static_cast<QWidget*>(watched)->window()->isVisible()) {
            reported_ = true;
            QTimer::singleShot(0, this, [this] {
                const char byte = 1;
                [[maybe_unused]] const auto written = ::write(fd_, &byte, 1);
                ::close(fd_);
                QCoreApplication::quit();
            });
        }
        return false;
    }

private:
    int fd_;
    bool reported_ = false;
};

void installProbe() {
    const char* fd = std::getenv("SORVANE_BENCH_FRAME_FD");
    if (!fd) return;
    QCoreApplication* application = QCoreApplication::instance();
    application->installEventFilter(new FirstFrameProbe(std::atoi(fd), application));
}

}  // namespace

Q_COREAPP_STARTUP_FUNCTION(installProbe)
