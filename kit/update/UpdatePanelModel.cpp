#include "kit/update/UpdatePanelModel.h"

#include <cmath>
#include <thread>

#include "kit/package/ProgressThrottle.h"
#include "kit/settings/AppSettings.h"
#include "kit/update/UpdatePipeline.h"
#include "platform/DateText.h"
#include "platform/SorvaneLog.h"
#include "platform/files/Files.h"

namespace sorvane {
namespace {

constexpr std::string_view checkAgain = "，请重新检查更新";

UpdatePanelPhase startingPhase(const UpdateEnvironment& environment, const UpdateState& state) {
    const auto ready = state.readyRelease(environment.currentVersion, [&](const std::string& path) {
        return UpdatePipeline::isKeptPackage(path, environment.updatesDirectory);
    });
    return ready ? UpdatePanelPhase::ready(ready->release) : UpdatePanelPhase::idle();
}

}  // namespace

UpdatePanelModel::UpdatePanelModel(Services services, Phase phase, std::optional<Date> lastChecked,
                                   std::string currentVersion, bool autoCheck)
    : services_(std::move(services)),
      phase_(std::move(phase)),
      lastChecked_(lastChecked),
      currentVersion_(std::move(currentVersion)),
      autoCheck_(autoCheck) {}

std::shared_ptr<UpdatePanelModel> UpdatePanelModel::make(Services services, bool autoCheck) {
    Phase phase;
    std::optional<Date> lastChecked;
    std::string version;
    if (services.makeEnvironment) {
        const UpdateEnvironment environment = services.makeEnvironment();
        const UpdateState state = environment.stateFile.load();
        version = environment.currentVersion;
        lastChecked = state.checkedAt;
        phase = startingPhase(environment, state);
    }
    return std::make_shared<UpdatePanelModel>(std::move(services), std::move(phase), lastChecked,
                                              std::move(version), autoCheck);
}

std::shared_ptr<UpdatePanelModel> UpdatePanelModel::live(MainQueue& mainQueue) {
    Services services;
    services.mainQueue = &mainQueue;
    services.startTask = [](std::function<void()> work) { std::thread(std::move(work)).detach(); };
    services.makeEnvironment = [] { return UpdateEnvironment::live(); };
    services.runCheck = [](const UpdateEnvironment& environment, const UpdateEventHandler& events) {
        return UpdatePipeline::run(environment, events);
    };
    services.verifyReady = UpdatePipeline::verifyReadyPackage;
    services.installer = &CommandInstaller::shared();
    // Read from disk here, not through the server's cache of the file.
    const AppSettingsFile settings{Files::supportDirectory() / "settings.json", nullptr};
    const auto stored = settings.load();
    return make(std::move(services), stored ? stored->autoCheckUpdates : true);
}

std::shared_ptr<UpdatePanelModel> UpdatePanelModel::preview(Phase phase, std::optional<Date> lastChecked,
                                                            std::string currentVersion, bool autoCheck) {
    return std::make_shared<UpdatePanelModel>(Services{}, std::move(phase), lastChecked,
                                              std::move(currentVersion), autoCheck);
}

const UpdateRelease& UpdatePanelModel::previewRelease() {
    static const UpdateRelease release = [] {
        UpdateRelease r;
        r.version = "0.2.1";
        r.url = "https://updates.sorvane.invalid/SorvaneIME-0.2.1-update.pkg";
        r.sha256 = std::string(64, '0');
        r.size = 19'000'000;
        r.minOS = "14.0";
        r.notes = "· 修复：部分 App 里 Shift 切换偶尔失灵\n· Sorvane模式续写更快";
        r.publishedAt = "2026-09-20T08:00:00.000Z";
        return r;
    }();
    return release;
}

void UpdatePanelModel::check() {
    if (!services_.makeEnvironment || phase_.isBusy()) return;
    setPhase(Phase::checking());
    auto environment = services_.makeEnvironment();
    auto throttle = std::make_shared<ProgressThrottle>();
    std::weak_ptr<UpdatePanelModel> weak = weak_from_this();
    MainQueue* queue = services_.mainQueue;
    services_.startTask(
        [environment = std::move(environment), throttle, weak, queue, runCheck = services_.runCheck] {
            auto result = runCheck(environment, [&](const UpdateEvent& event) {
                if (auto phase = throttle->phase(event)) {
                    queue->post([weak, phase = *phase] {
                        if (auto model = weak.lock()) model->setPhase(phase);
                    });
                }
            });
            const auto checkedAt = environment.stateFile.load().checkedAt;
            queue->post([weak, result = std::move(result), checkedAt] {
                if (auto model = weak.lock()) model->finishCheck(result, checkedAt);
            });
        });
}

void UpdatePanelModel::finishCheck(const Expected<UpdateCheckResult, UpdateCheckError>& result,
                                   std::optional<Date> checkedAt) {
    if (checkedAt) lastChecked_ = checkedAt;
    if (!result) {
        setPhase(Phase::failed(result.error().description()));
    } else if (result->kind == UpdateCheckResult::Kind::ready && result->release) {
        setPhase(Phase::ready(*result->release));
    } else {
        setPhase(Phase::upToDate());
    }
}

void UpdatePanelModel::install() {
    if (!services_.makeEnvironment || phase_.kind != Phase::Kind::ready) return;
    setPhase(Phase::installing());
    auto environment = services_.makeEnvironment();
    std::weak_ptr<UpdatePanelModel> weak = weak_from_this();
    MainQueue* queue = services_.mainQueue;
    services_.startTask(
        [environment = std::move(environment), weak, queue, verifyReady = services_.verifyReady] {
            auto result = verifyReady(environment);
            queue->post([weak, result = std::move(result)] {
                if (auto model = weak.lock()) model->openInstaller(result);
            });
        });
}

void UpdatePanelModel::openInstaller(const Expected<UpdateState::Ready, UpdateCheckError>& result) {
    if (!result) {
        std::string text = result.error().description();
        if (!text.ends_with(checkAgain)) text += checkAgain;
        setPhase(Phase::failed(std::move(text)));
        return;
    }
    const auto installer = services_.installer ? services_.installer->installerAppURL() : std::nullopt;
    if (!installer) {
        setPhase(Phase::failed("找不到 macOS 安装器"));
        return;
    }
    SorvaneLog::log("[Sorvane] update: opening Installer with " + result->path);
    std::weak_ptr<UpdatePanelModel> weak = weak_from_this();
    MainQueue* queue = services_.mainQueue;
    const std::string version = result->release.version;
    services_.installer->open(*installer, result->path,
                              [weak, queue, version](std::optional<std::string> failure) {
                                  queue->post([weak, version, failure] {
                                      auto model = weak.lock();
                                      if (!model) return;
                                      model->setPhase(failure ? Phase::failed("打不开安装器：" + *failure)
                                                              : Phase::installerOpened(version));
                                  });
                              });
}

std::string UpdatePanelModel::statusLine(std::string_view locale, std::string_view timeZone) const {
    switch (phase_.kind) {
        case Phase::Kind::idle:
            if (!lastChecked_) return "尚未检查更新";
            return "上次检查：" + DateText::monthDayHourMinute(*lastChecked_, locale, timeZone);
        case Phase::Kind::checking:
            return "正在检查更新…";
        case Phase::Kind::downloading:
            return "正在下载更新 " +
                   std::to_string(static_cast<long long>(std::round(phase_.fraction * 100))) + "%";
        case Phase::Kind::verifying:
        case Phase::Kind::installing:
            return "正在校验安装包…";
        case Phase::Kind::ready:
            return "新版本 " + (phase_.release ? phase_.release->version : std::string()) +
                   " 已下载并通过校验";
        case Phase::Kind::installerOpened:
            return "已打开安装器，按提示安装 " + phase_.text;
        case Phase::Kind::upToDate:
            return "已是最新版本";
        case Phase::Kind::failed:
            return phase_.text;
    }
    return {};
}

ObserverSubscription UpdatePanelModel::observeChanges(std::function<void()> observer) {
    return observers_.add(std::move(observer));
}

void UpdatePanelModel::setPhase(Phase phase) {
    phase_ = std::move(phase);
    changed();
}

void UpdatePanelModel::changed() {
    observers_.notify();
}

}  // namespace sorvane
