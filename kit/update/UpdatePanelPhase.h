#pragma once
// What the update section of the about page is doing. A plain value.
#include <optional>
#include <string>

#include "kit/update/UpdateRelease.h"

namespace sorvane {

struct UpdatePanelPhase {
    enum class Kind {
        idle,
        checking,
        downloading,
        verifying,
        ready,
        installing,
        installerOpened,
        upToDate,
        failed
    };
    Kind kind = Kind::idle;
    double fraction = 0;                   // downloading: 0 to 1, whole percent steps
    std::optional<UpdateRelease> release;  // ready
    std::string text;                      // installerOpened: the version; failed: the message

    static UpdatePanelPhase idle() { return {}; }
    static UpdatePanelPhase checking() { return {Kind::checking, 0, {}, {}}; }
    static UpdatePanelPhase downloading(double fraction) { return {Kind::downloading, fraction, {}, {}}; }
    static UpdatePanelPhase verifying() { return {Kind::verifying, 0, {}, {}}; }
    static UpdatePanelPhase ready(UpdateRelease release) { return {Kind::ready, 0, std::move(release), {}}; }
    static UpdatePanelPhase installing() { return {Kind::installing, 0, {}, {}}; }
    static UpdatePanelPhase installerOpened(std::string version) {
        return {Kind::installerOpened, 0, {}, std::move(version)};
    }
    static UpdatePanelPhase upToDate() { return {Kind::upToDate, 0, {}, {}}; }
    static UpdatePanelPhase failed(std::string message) { return {Kind::failed, 0, {}, std::move(message)}; }

    // A check or an installation is under way.
    bool isBusy() const {
        return kind == Kind::checking || kind == Kind::downloading || kind == Kind::verifying ||
               kind == Kind::installing;
    }
    bool operator==(const UpdatePanelPhase&) const = default;
};

}  // namespace sorvane
