#include "app/settings/SettingsWindow.h"

#include <QAction>
#include <QApplication>
#include <QEvent>
#include <QKeySequence>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPixmap>
#include <QScreen>
#include <QTimer>
#include <algorithm>
#include <limits>
#include <optional>
#include <string>

#include "app/panels/QtText.h"
#include "app/server/GuiApplication.h"
#include "app/server/QuitSignals.h"
#include "app/settings/SettingsLauncher.h"
#include "app/settings/SettingsRootView.h"
#include "app/settings/UrlOpener.h"
#include "app/settings/style/AppMark.h"
#include "app/settings/style/SettingsTheme.h"
#include "kit/settings/SettingsModel.h"
#include "platform/NotificationCenter.h"
#include "platform/SorvaneLog.h"
#include "platform/files/FileLock.h"
#include "platform/files/Files.h"
#include "platform/qt/DistributedNotifications.h"
#include "platform/qt/QtMainQueue.h"

namespace sorvane::SettingsWindow {
namespace {

constexpr int kFailure = 1;

// Ends the process with its window: nothing is saved here, every change was
// written when it was made.
class WindowCloser final : public QObject {
public:
    WindowCloser(QWidget& window, std::function<void()> showAboutPage)
        : window_(window), showAboutPage_(std::move(showAboutPage)) {
        window_.installEventFilter(this);
    }

    void showAbout() { showAboutPage_(); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == &window_ && event->type() == QEvent::Close) {
            SorvaneLog::log("[Sorvane] settings window closed");
            QCoreApplication::quit();
        }
        return false;
    }

private:
    QWidget& window_;
    std::function<void()> showAboutPage_;
};

// What a show-settings notification reaches: nothing until the window
// exists, so a page that arrives while it is being built waits for it.
struct Front {
    SettingsModel* model = nullptr;
    QWidget* window = nullptr;
    std::optional<SettingsPage> pending;
};

void bringToFront(QWidget& window) {
    if (window.isMinimized()) window.showNormal();
    window.show();
    window.raise();
    window.activateWindow();
}

QWidget* activeWindow() {
    return QApplication::activeWindow();
}

// The focused widget's own slot (undo, copy, ...), when it has one.
void toFocusWidget(const char* slot) {
    if (QWidget* widget = QApplication::focusWidget()) QMetaObject::invokeMethod(widget, slot);
}

QAction* addItem(QMenu& menu, const char* title, std::function<void()> action, const char* keys = nullptr) {
    QAction* item = menu.addAction(QString::fromUtf8(title));
    if (keys) item->setShortcut(QKeySequence(QString::fromLatin1(keys)));
    if (action) {
        QObject::connect(item, &QAction::triggered, item, [action = std::move(action)] { action(); });
    } else {
        // The system's counterpart (other applications' windows) has none here.
        item->setEnabled(false);
    }
    return item;
}

int present(SettingsModel& model, Front& front, const std::function<void()>& onShown = {}) {
    // Without a mark the application keeps its default icon.
    if (const auto icon = AppMark::dockIcon()) QApplication::setWindowIcon(QPixmap::fromImage(*icon));
    SettingsTheme::followApplicationPalette();

    QMainWindow window;
    window.setWindowTitle(qstring(windowTitle));
    window.setMinimumSize(620, 560);
    window.resize(760, 780);
    window.setCentralWidget(new SettingsRootView(model, UrlOpener::live()));
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        window.move(screen->availableGeometry().center() - window.rect().center());
    }

    WindowCloser closer(window, [&model] { model.show(SettingsPage::about); });
    window.setMenuBar(mainMenu([&closer] { closer.showAbout(); }).release());

    front.model = &model;
    front.window = &window;
    if (front.pending) model.show(*front.pending);
    bringToFront(window);
    if (onShown) onShown();
    SorvaneLog::log("[Sorvane] settings window open page=" + std::string(rawValue(model.page())));
    QApplication::exec();
    front.model = nullptr;
    front.window = nullptr;
    return 0;
}

}  // namespace

std::filesystem::path lockPath() {
    return Files::runtimeDirectory() / lockFileName;
}

int run(SettingsPage page) {
    std::unique_ptr<QApplication> ownApplication;
    if (!QCoreApplication::instance()) {
        // The sign-in page's web engine is loaded later, into this process;
        // it needs shared GL contexts from before the application exists.
        QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
        static int argc = 1;
        static char name[] = "SorvaneIME";
        static char* argv[] = {name, nullptr};
        ownApplication = std::make_unique<QApplication>(argc, argv);
    }
    auto* application = qobject_cast<QApplication*>(QCoreApplication::instance());
    if (!application) return kFailure;  // a window needs a widgets application
    QuitSignals::route(*application);
    // Without it a forward would be dropped and no settings change would
    // reach the server.
    NotificationCenter::setShared(DistributedNotifications::shared());

    // A lock file that cannot be opened, or one that is not this user's own,
    // leaves the window without a lock: only a lock of ours held elsewhere
    // forwards, and a second window is better than none.
    FileLock lock(lockPath(), FileLock::tryOnce);
    if (lock.heldElsewhere()) {
        if (!SettingsLauncher::postShow(page)) return kFailure;  // the center logged why
        SorvaneLog::log("[Sorvane] settings window already open; forwarded page=" +
                        std::string(rawValue(page)));
        return 0;
    }
    // Said, since a second start will now open a second window too.
    if (!lock.held())
        SorvaneLog::log("[Sorvane] settings lock not taken, window opens without it: " + lockPath().string() +
                        ": " + lock.error().description());

    Files::keepSupportDirectoryPrivate();

    // Observed before the window is built, so that a page forwarded
    // meanwhile is not lost.
    Front front;
    const auto center = NotificationCenter::shared();
    const NotificationObserverId observer = center->observe(
        SettingsLauncher::showNotification, [&front](const std::string&, const NotificationUserInfo& info) {
            const auto requested = SettingsLauncher::page(info);
            if (!front.model) {
                if (requested) front.pending = requested;
                return;
            }
            if (requested) front.model->show(*requested);
            bringToFront(*front.window);
        });

    int status = 0;
    {
        const auto model = SettingsModel::live(page, QtMainQueue::shared());
        status = present(*model, front);
    }
    center->removeObserver(observer);
    return status;
}

int runDemo(SettingsPage page, double seconds) {
    // The sign-in page's web engine needs shared GL contexts from before the
    // application exists; without a display the demo runs offscreen.
    if (!QCoreApplication::instance()) QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication& application = GuiApplication::ensure();
    QuitSignals::route(application);

    auto& mainQueue = QtMainQueue::shared();
    SettingsPreviews::Arguments arguments;
    arguments.page = page;
    arguments.account =
        AccountStore::preview(mainQueue, AccountStore::LoginState::loggedOut(), std::nullopt, false);
    const auto model = SettingsPreviews::model(std::move(arguments), mainQueue);

    // Whole milliseconds within the timer's range: a negative wait closes at
    // once, a wait of weeks is cut to the longest one the timer takes.
    const double milliseconds = std::clamp(seconds * 1000.0, 0.0, double(std::numeric_limits<int>::max()));
    Front front;
    return present(*model, front, [milliseconds] {
        QTimer::singleShot(int(milliseconds), qApp, [] {
            for (QWidget* window : QApplication::topLevelWidgets()) {
                if (window->windowTitle() == qstring(windowTitle)) {
                    window->close();
                    return;
                }
            }
        });
    });
}

std::unique_ptr<QMenuBar> mainMenu(std::function<void()> showAbout) {
    auto bar = std::make_unique<QMenuBar>();

    QMenu* application = bar->addMenu(qstring(windowTitle));
    addItem(*application, "关于Sorvane输入法", std::move(showAbout));
    application->addSeparator();
    addItem(
        *application, "隐藏Sorvane输入法",
        [] {
            if (QWidget* window = activeWindow()) window->showMinimized();
        },
        "Ctrl+H");
    addItem(*application, "隐藏其他", nullptr, "Ctrl+Alt+H");
    addItem(*application, "显示全部", nullptr);
    application->addSeparator();
    addItem(
        *application, "退出Sorvane输入法", [] { QCoreApplication::quit(); }, "Ctrl+Q");

    QMenu* edit = bar->addMenu(QStringLiteral("编辑"));
    addItem(
        *edit, "撤销", [] { toFocusWidget("undo"); }, "Ctrl+Z");
    addItem(
        *edit, "重做", [] { toFocusWidget("redo"); }, "Ctrl+Shift+Z");
    edit->addSeparator();
    addItem(
        *edit, "剪切", [] { toFocusWidget("cut"); }, "Ctrl+X");
    addItem(
        *edit, "拷贝", [] { toFocusWidget("copy"); }, "Ctrl+C");
    addItem(
        *edit, "粘贴", [] { toFocusWidget("paste"); }, "Ctrl+V");
    addItem(
        *edit, "全选", [] { toFocusWidget("selectAll"); }, "Ctrl+A");

    QMenu* windows = bar->addMenu(QStringLiteral("窗口"));
    addItem(
        *windows, "最小化",
        [] {
            if (QWidget* window = activeWindow()) window->showMinimized();
        },
        "Ctrl+M");
    addItem(*windows, "缩放", [] {
        if (QWidget* window = activeWindow())
            window->isMaximized() ? window->showNormal() : window->showMaximized();
    });
    windows->addSeparator();
    addItem(
        *windows, "关闭窗口",
        [] {
            if (QWidget* window = activeWindow()) window->close();
        },
        "Ctrl+W");
    return bar;
}

}  // namespace sorvane::SettingsWindow
