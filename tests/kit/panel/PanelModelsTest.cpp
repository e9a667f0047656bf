#include <gtest/gtest.h>

#include "kit/english/EnglishKey.h"
#include "kit/input/AcceptKeys.h"
#include "kit/panel/EnglishPanelModel.h"
#include "kit/panel/PanelContent.h"

namespace sorvane {
namespace {

ChinesePanelModel chineseModel(ChinesePanelLayout layout = ChinesePanelLayout::horizontal) {
    return ChinesePanelModel("ni hao", {{"1", "你好", std::nullopt}, {"2", "拟好", "ni hao"}}, 0, 0, false,
                             layout);
}

EnglishPanelModel englishModel(AcceptKeys keys = AcceptKeys::tabNormalized) {
    return EnglishPanelModel("I think", " it works.", false, "i think", EnglishPanelPhase::suggestion(),
                             keys);
}

TEST(ChinesePanelModel, EqualityCoversEveryField) {
    EXPECT_EQ(chineseModel(), chineseModel());
    EXPECT_NE(chineseModel(), chineseModel(ChinesePanelLayout::vertical));
    const auto base = chineseModel();
    EXPECT_NE(base, ChinesePanelModel("ni hao", base.candidates(), 1, 0, false));
    EXPECT_NE(base, ChinesePanelModel("ni hao", base.candidates(), 0, 1, false));
    EXPECT_NE(base, ChinesePanelModel("ni hao", base.candidates(), 0, 0, true));
    EXPECT_NE(base, ChinesePanelModel("ni ha", base.candidates(), 0, 0, false));
    EXPECT_NE(base, ChinesePanelModel("ni hao", {base.candidates()[1], base.candidates()[0]}, 0, 0, false));
    EXPECT_NE(base, ChinesePanelModel("ni hao", {base.candidates()[0]}, 0, 0, false));
}

TEST(ChinesePanelModel, LayoutIsTheOnlyMutableFieldAndDefaultsToHorizontal) {
    auto model = chineseModel();
    EXPECT_EQ(model.layout(), ChinesePanelLayout::horizontal);
    model.setLayout(ChinesePanelLayout::vertical);
    EXPECT_EQ(model, chineseModel(ChinesePanelLayout::vertical));
}

TEST(ChinesePanelModel, NoCandidatesIsAValidValue) {
    const ChinesePanelModel empty("", {}, -1, 0, true);
    EXPECT_TRUE(empty.candidates().empty());
    EXPECT_EQ(empty.highlightedIndex(), -1);  // the engine's value, not clamped
    EXPECT_EQ(empty, ChinesePanelModel("", {}, -1, 0, true));
}

TEST(ChineseCandidate, CommentPresenceMatters) {
    const ChineseCandidate none{"1", "好", std::nullopt};
    const ChineseCandidate emptyComment{"1", "好", ""};
    EXPECT_NE(none, emptyComment);
    EXPECT_EQ(emptyComment, (ChineseCandidate{"1", "好", ""}));
    EXPECT_NE(emptyComment, (ChineseCandidate{"1", "好", "hao"}));
    EXPECT_NE(none, (ChineseCandidate{"2", "好", std::nullopt}));
}

TEST(ChineseCandidate, StringsCompareByCanonicalEquivalence) {
    // Precomposed é and e followed by a combining acute accent.
    EXPECT_EQ((ChineseCandidate{"1", "caf\u00e9", std::nullopt}),
              (ChineseCandidate{"1", "cafe\u0301", std::nullopt}));
    EXPECT_NE((ChineseCandidate{"1", "cafe", std::nullopt}),
              (ChineseCandidate{"1", "caf\u00e9", std::nullopt}));
}

TEST(PanelContent, KindsNeverCompareEqual) {
    const auto chinese = PanelContent::chinese(ChinesePanelModel("", {}, 0, 0, false));
    const auto english = PanelContent::english(
        EnglishPanelModel("", "", false, "", EnglishPanelPhase::typing(), AcceptKeys::tabNormalized));
    EXPECT_NE(chinese, english);
    EXPECT_EQ(chinese, PanelContent::chinese(ChinesePanelModel("", {}, 0, 0, false)));
    EXPECT_EQ(chinese.kind(), PanelContent::Kind::chinese);
    ASSERT_NE(chinese.chineseModel(), nullptr);
    EXPECT_EQ(chinese.englishModel(), nullptr);
    ASSERT_NE(english.englishModel(), nullptr);
    EXPECT_EQ(english.chineseModel(), nullptr);
}

TEST(PanelContent, ComparesItsModels) {
    EXPECT_EQ(PanelContent::english(englishModel()), PanelContent::english(englishModel()));
    EXPECT_NE(PanelContent::english(englishModel()),
              PanelContent::english(englishModel(AcceptKeys::tabFull)));
    EXPECT_NE(PanelContent::chinese(chineseModel()),
              PanelContent::chinese(chineseModel(ChinesePanelLayout::vertical)));
}

TEST(AcceptKeysRaw, IsCaseSensitive) {
    struct Case {
        const char* raw;
        std::optional<AcceptKeys> keys;
    };
    const Case cases[] = {{"tabNormalized", AcceptKeys::tabNormalized},
                          {"tabFull", AcceptKeys::tabFull},
                          {"TabFull", std::nullopt},
                          {"", std::nullopt},
                          {"tabfull", std::nullopt}};
    for (const auto& c : cases) EXPECT_EQ(acceptKeysFromRaw(c.raw), c.keys) << c.raw;
}

TEST(EnglishPanelModel, EqualityCoversEveryField) {
    const auto base = englishModel();
    EXPECT_EQ(base, englishModel());
    EXPECT_NE(base, englishModel(AcceptKeys::tabFull));
    EXPECT_NE(base, EnglishPanelModel("I thought", " it works.", false, "i think",
                                      EnglishPanelPhase::suggestion(), AcceptKeys::tabNormalized));
    EXPECT_NE(base, EnglishPanelModel("I think", "it works.", false, "i think",
                                      EnglishPanelPhase::suggestion(), AcceptKeys::tabNormalized));
    EXPECT_NE(base, EnglishPanelModel("I think", " it works.", true, "i think",
                                      EnglishPanelPhase::suggestion(), AcceptKeys::tabNormalized));
    EXPECT_NE(base, EnglishPanelModel("I think", " it works.", false, "i think ",
                                      EnglishPanelPhase::suggestion(), AcceptKeys::tabNormalized));
    EXPECT_NE(base, EnglishPanelModel("I think", " it works.", false, "i think", EnglishPanelPhase::typing(),
                                      AcceptKeys::tabNormalized));
}

TEST(EnglishPanelModel, MutableFieldsCanBeReassigned) {
    auto model = EnglishPanelModel("", "", true, "ab", EnglishPanelPhase::requesting(), AcceptKeys::tabFull);
    model.setBuffer("i think");
    model.setPhase(EnglishPanelPhase::suggestion());
    model.setAcceptKeys(AcceptKeys::tabNormalized);
    EXPECT_EQ(model.buffer(), "i think");
    EXPECT_EQ(model.phase(), EnglishPanelPhase::suggestion());
    EXPECT_EQ(model.acceptKeys(), AcceptKeys::tabNormalized);
    EXPECT_TRUE(model.isWaiting());  // fixed at construction
}

TEST(EnglishPanelPhase, FailedComparesItsText) {
    EXPECT_EQ(EnglishPanelPhase::failed("请求失败"), EnglishPanelPhase::failed("请求失败"));
    EXPECT_NE(EnglishPanelPhase::failed("请求失败"), EnglishPanelPhase::failed("今日 AI 额度已用完"));
    EXPECT_NE(EnglishPanelPhase::failed(""), EnglishPanelPhase::typing());
    EXPECT_NE(EnglishPanelPhase::typing(), EnglishPanelPhase::requesting());
    EXPECT_EQ(EnglishPanelPhase::failed("x").reason(), "x");
    EXPECT_EQ(EnglishPanelPhase::typing().reason(), "");
}

TEST(EnglishKey, TextKeysCompareTheirStrings) {
    EXPECT_EQ(EnglishKey::text("a"), EnglishKey::text("a"));
    EXPECT_NE(EnglishKey::text("a"), EnglishKey::text("A"));
    EXPECT_EQ(EnglishKey::backspace(), EnglishKey::backspace());
    EXPECT_NE(EnglishKey::caretLeft(), EnglishKey::caretRight());
    const EnglishKey payloadFree[] = {
        EnglishKey::acceptNormalized(), EnglishKey::acceptFull(), EnglishKey::commitRaw(),
        EnglishKey::escape(),           EnglishKey::backspace(),  EnglishKey::caretLeft(),
        EnglishKey::caretRight(),       EnglishKey::caretHome(),  EnglishKey::caretEnd()};
    // An empty text is a valid key and still unequal to every payload-free case.
    for (const auto& key : payloadFree) EXPECT_NE(EnglishKey::text(""), key);
}

}  // namespace
}  // namespace sorvane
