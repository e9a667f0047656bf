// sorvane-client: plays a key script into one input session of the running
// input-method server and prints what the application received.
//
//   sorvane-client [options] SCRIPT
//     --bundle ID         the application's bundle id (default com.example.editor)
//     --no-bundle         send no bundle id
//     --connection NAME   the server's connection name
//                         (default cn.kestrum.inputmethod.Sorvane_Connection)
//     --caret X,Y,W,H     the caret rectangle reported to the server
//     --secure            start in a password field (secure input on)
//     --gap MS            pause after every key event (default 20)
//     --wait-server MS    how long to wait for the server's name (default 5000)
//     --no-activate       do not activate the session before the script
//
// Output, one line per event, in arrival order:
//   marked "ni hao" selection=6,0 runs=[0+6:selectedRawText]
//   insert "你好"
//   key code=49 " "            a key the input method passed to the application
//   menu "设置…" action=openSettings: key=""
//   action openSettings: known
//   field "你好 "              the text field's content at the end
// Exit status: 0 done, 1 server unreachable or a call failed, 2 usage error.
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusError>
#include <QEventLoop>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "platform/imk/IMKClient.h"
#include "platform/imk/KeyScript.h"

using namespace sorvane;

namespace {

constexpr const char* kUsage =
    "usage: sorvane-client [--bundle ID | --no-bundle] [--connection NAME] [--caret X,Y,W,H]\n"
    "                      [--secure] [--gap MS] [--wait-server MS] [--no-activate] SCRIPT\n"
    "SCRIPT: characters are keys; {space} {return} {tab} {backspace} {escape} {left} {right} {up}\n"
    "{down} {home} {end} {shift} {rshift} {shift 700} {capslock} {shift+tab} {ctrl+a} {wait 500}\n"
    "{activate} {deactivate} {commit} {hide} {menu} {action NAME} {secure on|off} {lbrace} {rbrace}\n";

std::string quoted(const std::string& text) {
    std::string out = "\"";
    for (unsigned char c : text) {
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (c < 0x20 || c == 0x7f) {
                    char buffer[8];
                    std::snprintf(buffer, sizeof buffer, "\\x%02x", c);
                    out += buffer;
                } else {
                    out += static_cast<char>(c);
                }
        }
    }
    return out + "\"";
}

const char* styleName(MarkedTextStyle style) {
    switch (style) {
        case MarkedTextStyle::plain:
            return "plain";
        case MarkedTextStyle::rawText:
            return "rawText";
        case MarkedTextStyle::selectedRawText:
            return "selectedRawText";
        case MarkedTextStyle::convertedText:
            return "convertedText";
        case MarkedTextStyle::selectedConvertedText:
            return "selectedConvertedText";
        case MarkedTextStyle::ghost:
            return "ghost";
    }
    return "unknown";
}

void say(const std::string& line) {
    std::cout << line << std::endl;
}

bool number(const std::string& text, int& out) {
    char* end = nullptr;
    const long v = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || v < 0 || v > 600000) return false;
    out = static_cast<int>(v);
    return true;
}

bool parseCaret(const std::string& text, Rect& rect) {
    double v[4];
    char tail = 0;
    if (std::sscanf(text.c_str(), "%lf,%lf,%lf,%lf%c", &v[0], &v[1], &v[2], &v[3], &tail) != 4) return false;
    rect = {v[0], v[1], v[2], v[3]};
    return true;
}

void pause(int ms) {
    if (ms <= 0) return;
    QEventLoop loop;
    QTimer::singleShot(ms, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

// The text field: what was inserted plus the keys the application typed
// itself.
class Field {
public:
    void insert(const std::string& text) { text_ += text; }
    void applicationKey(const KeyEvent& e) {
        if (e.modifierFlags & (ModifierFlag::control | ModifierFlag::command | ModifierFlag::option)) return;
        if (e.keyCode == 36 || e.keyCode == 76) {
            text_ += '\n';
        } else if (e.keyCode == 51) {
            while (!text_.empty() && (static_cast<unsigned char>(text_.back()) & 0xC0) == 0x80)
                text_.pop_back();
            if (!text_.empty()) text_.pop_back();
        } else if (e.characters == "\t" ||
                   (!e.characters.empty() && static_cast<unsigned char>(e.characters[0]) >= 0x20 &&
                    static_cast<unsigned char>(e.characters[0]) != 0x7f &&
                    static_cast<unsigned char>(e.characters[0]) != 0xEF)) {
            // 0xEF leads the private-use range of arrows and function keys.
            text_ += e.characters;
        }
    }
    const std::string& text() const { return text_; }

private:
    std::string text_;
};

// What the command line asks for.
struct Options {
    std::optional<std::string> bundleId = std::string("com.example.editor");
    std::string connectionName = "cn.kestrum.inputmethod.Sorvane_Connection";
    std::optional<Rect> caret = Rect{400, 300, 1, 18};
    bool secure = false;
    bool activate = true;
    int gapMs = 20;
    int waitServerMs = 5000;
    std::optional<std::string> script;
};

// Reads the command line into options; an exit status when the tool is done
// with it already (help shown, or a usage error said).
std::optional<int> parseArguments(const QStringList& args, Options& options) {
    for (int i = 1; i < args.size(); ++i) {
        const std::string a = args[i].toStdString();
        auto value = [&](std::string& out) {
            if (i + 1 >= args.size()) return false;
            out = args[++i].toStdString();
            return true;
        };
        std::string v;
        if (a == "--bundle" && value(v)) {
            options.bundleId = v;
        } else if (a == "--no-bundle") {
            options.bundleId.reset();
        } else if (a == "--connection" && value(v)) {
            options.connectionName = v;
        } else if (a == "--caret" && value(v)) {
            Rect r;
            if (!parseCaret(v, r)) {
                std::cerr << "sorvane-client: --caret wants X,Y,W,H\n" << kUsage;
                return 2;
            }
            options.caret = r;
        } else if (a == "--secure") {
            options.secure = true;
        } else if (a == "--no-activate") {
            options.activate = false;
        } else if ((a == "--gap" || a == "--wait-server") && value(v)) {
            if (!number(v, a == "--gap" ? options.gapMs : options.waitServerMs)) {
                std::cerr << "sorvane-client: " << a << " wants milliseconds\n" << kUsage;
                return 2;
            }
        } else if (a == "-h" || a == "--help") {
            std::cout << kUsage;
            return 0;
        } else if (!a.empty() && a[0] != '-' && !options.script) {
            options.script = a;
        } else {
            std::cerr << "sorvane-client: unexpected argument " << a << "\n" << kUsage;
            return 2;
        }
    }
    if (!options.script) {
        std::cerr << kUsage;
        return 2;
    }
    return std::nullopt;
}

std::string markedLine(const MarkedTextUpdate& m) {
    std::string runs;
    for (const auto& r : m.styleRuns) {
        if (!runs.empty()) runs += ",";
        runs += std::to_string(r.range.location) + "+" + std::to_string(r.range.length) + ":" +
                styleName(r.style);
    }
    return "marked " + quoted(m.text) + " selection=" + std::to_string(m.selection.location) + "," +
           std::to_string(m.selection.length) + " runs=[" + runs + "]";
}

void sayFailed(const std::string& what, const std::string& error) {
    std::cerr << "sorvane-client: " << what << " failed: " << error << "\n";
}

// Sends one key event; a key the input method passes on is typed into the
// field. False when the call failed.
bool playKey(IMKClient& client, Field& field, const KeyScriptStep& step,
             std::chrono::steady_clock::time_point began, int gapMs) {
    KeyEvent e = step.event;
    e.timestamp = std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
    const bool down = e.type == KeyEventType::keyDown;
    auto r = down ? client.keyDown(e) : client.flagsChanged(e);
    if (!r) {
        sayFailed(down ? "key" : "modifier change", r.error());
        return false;
    }
    if (down && !*r) {
        field.applicationKey(e);
        say("key code=" + std::to_string(e.keyCode) + " " + quoted(e.characters));
    }
    pause(gapMs);
    return true;
}

// Runs one {command} of the script. False when the call failed.
bool playCommand(IMKClient& client, const KeyScriptStep& step) {
    const std::string& c = step.command;
    Expected<void, std::string> r;
    if (c == "activate") {
        r = client.activate();
    } else if (c == "deactivate") {
        r = client.deactivate();
    } else if (c == "commit") {
        r = client.commitComposition();
    } else if (c == "hide") {
        r = client.hidePalettes();
    } else if (c == "secure") {
        client.setSecureInput(step.argument == "on");
    } else if (c == "menu") {
        auto items = client.menu();
        if (!items) {
            sayFailed("menu", items.error());
            return false;
        }
        for (const auto& item : *items)
            say("menu " + quoted(item.title) + " action=" + item.action +
                " key=" + quoted(item.keyEquivalent));
    } else if (c == "action") {
        auto known = client.performMenuAction(step.argument);
        if (!known) {
            sayFailed("menu action", known.error());
            return false;
        }
        say("action " + step.argument + (*known ? " known" : " unknown"));
    }
    if (!r) {
        sayFailed(c, r.error());
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    Options options;
    if (const std::optional<int> status = parseArguments(app.arguments(), options)) return *status;
    auto steps = KeyScript::parse(*options.script);
    if (!steps) {
        std::cerr << "sorvane-client: script " << steps.error().description() << "\n";
        return 2;
    }

    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        std::cerr << "sorvane-client: no D-Bus session bus: " << bus.lastError().message().toStdString()
                  << "\n";
        return 1;
    }
    IMKClient client(bus, QString::fromStdString(options.connectionName));
    if (!client.waitForServer(std::chrono::milliseconds(options.waitServerMs))) {
        std::cerr << "sorvane-client: no server owns " << options.connectionName << "\n";
        return 1;
    }
    Field field;
    client.onInsertText = [&](const std::string& text) {
        field.insert(text);
        say("insert " + quoted(text));
    };
    client.onMarkedText = [](const MarkedTextUpdate& m) { say(markedLine(m)); };
    client.setBundleIdentifier(options.bundleId);
    client.setCaretRect(options.caret);
    client.setSecureInput(options.secure);

    auto failed = [](const std::string& what, const std::string& error) {
        sayFailed(what, error);
        return 1;
    };
    if (auto r = client.openSession(); !r) return failed("open session", r.error());
    if (options.activate)
        if (auto r = client.activate(); !r) return failed("activate", r.error());

    const auto began = std::chrono::steady_clock::now();
    for (const KeyScriptStep& step : *steps) {
        switch (step.kind) {
            case KeyScriptStep::Kind::wait:
                pause(step.waitMs);
                break;
            case KeyScriptStep::Kind::key:
                if (!playKey(client, field, step, began, options.gapMs)) return 1;
                break;
            case KeyScriptStep::Kind::command:
                if (!playCommand(client, step)) return 1;
                break;
        }
    }
    pause(options.gapMs);
    if (options.activate)
        if (auto r = client.deactivate(); !r) return failed("deactivate", r.error());
    if (auto r = client.closeSession(); !r) return failed("close session", r.error());
    say("field " + quoted(field.text()));
    return 0;
}
