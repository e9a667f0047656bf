#include <gtest/gtest.h>

#include "platform/imk/KeyScript.h"

namespace sorvane {
namespace {

using Kind = KeyScriptStep::Kind;

// One line per step: "down CODE chars/ignoring FLAGS", "flags CODE FLAGS",
// "wait MS", "cmd NAME ARG".
std::vector<std::string> render(std::string_view script) {
    auto steps = KeyScript::parse(script);
    EXPECT_TRUE(steps) << script;
    std::vector<std::string> out;
    if (!steps) return out;
    for (const auto& s : *steps) {
        char flags[32];
        std::snprintf(flags, sizeof flags, "%#llx", static_cast<unsigned long long>(s.event.modifierFlags));
        switch (s.kind) {
            case Kind::key:
                if (s.event.type == KeyEventType::keyDown)
                    out.push_back("down " + std::to_string(s.event.keyCode) + " " + s.event.characters + "/" +
                                  s.event.charactersIgnoringModifiers + " " + flags);
                else
                    out.push_back("flags " + std::to_string(s.event.keyCode) + " " + flags);
                break;
            case Kind::wait:
                out.push_back("wait " + std::to_string(s.waitMs));
                break;
            case Kind::command:
                out.push_back("cmd " + s.command + " " + s.argument);
                break;
        }
    }
    return out;
}

using Lines = std::vector<std::string>;

TEST(KeyScriptTest, TypesTheScriptOnAUsKeyboard) {
    const struct {
        const char* script;
        Lines steps;
    } cases[] = {
        {"ni", {"down 45 n/n 0", "down 34 i/i 0"}},
        {"{space}", {"down 49  /  0"}},
        {"{return}{tab}", {"down 36 \r/\r 0", "down 48 \t/\t 0"}},
        {"A", {"flags 56 0x20002", "down 0 A/A 0x20002", "flags 56 0"}},
        {"!", {"flags 56 0x20002", "down 18 !/! 0x20002", "flags 56 0"}},
        {"{shift}", {"flags 56 0x20002", "wait 60", "flags 56 0"}},
        {"{rshift 700}", {"flags 60 0x20004", "wait 700", "flags 60 0"}},
        {"{shift+tab}", {"flags 56 0x20002", "down 48 \t/\t 0x20002", "flags 56 0"}},
        {"{ctrl+c}", {"flags 59 0x40001", "down 8 \x03/c 0x40001", "flags 59 0"}},
        {"{cmd+shift+z}",
         {"flags 55 0x100008", "flags 56 0x12000a", "down 6 Z/Z 0x12000a", "flags 56 0x100008",
          "flags 55 0"}},
        {"{left}", {"down 123 \xEF\x9C\x82/\xEF\x9C\x82 0xa00000"}},
        {"{capslock}a{capslock}", {"flags 57 0x10000", "down 0 A/A 0x10000", "flags 57 0"}},
        {"{wait 500}", {"wait 500"}},
        {"{lbrace}{rbrace}", {"down 33 {/{ 0", "down 30 }/} 0"}},
        {"{activate}{secure on}{action openSettings:}",
         {"cmd activate ", "cmd secure on", "cmd action openSettings:"}},
        {"", {}},
    };
    for (const auto& c : cases) EXPECT_EQ(render(c.script), c.steps) << c.script;
}

TEST(KeyScriptTest, RefusesWhatNoKeyboardTypesAndSaysWhere) {
    const struct {
        const char* script;
        std::size_t offset;
    } cases[] = {
        {"ab{wait}", 2},
        {"{wait -5}", 0},
        {"x{nosuchkey}", 1},
        {"{ctrl+nosuch}", 0},
        {"{hyper+a}", 0},
        {"ni{", 2},
        {"}", 0},
        {"你", 0},
        {"{secure maybe}", 0},
        {"{action}", 0},
        {"{shift x}", 0},
        {"{activate now}", 0},
    };
    for (const auto& c : cases) {
        auto r = KeyScript::parse(c.script);
        ASSERT_FALSE(r) << c.script;
        EXPECT_EQ(r.error().offset, c.offset) << c.script;
        EXPECT_FALSE(r.error().message.empty());
    }
}

TEST(KeyScriptTest, EveryPrintableAsciiCharacterHasAKey) {
    for (char32_t c = 0x20; c < 0x7F; ++c) {
        std::uint16_t code = 0;
        bool shifted = false;
        EXPECT_TRUE(KeyScript::keyCodeFor(c, code, shifted)) << static_cast<int>(c);
    }
    std::uint16_t code = 0;
    bool shifted = true;
    ASSERT_TRUE(KeyScript::keyCodeFor(U'z', code, shifted));
    EXPECT_EQ(code, 6);
    EXPECT_FALSE(shifted);
}

}  // namespace
}  // namespace sorvane
