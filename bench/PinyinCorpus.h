#pragma once
// What the Chinese benchmarks type: everyday sentences in pinyin, a few
// syllables at a time committed with Space, with typing slips taken back
// with Backspace, pages turned, a candidate picked by its number now and
// then, and commas and full stops, after a commit or straight after the
// pinyin they end. Every benchmark that compares with librime gives librime the same
// keys as keysyms from the same tables the controller uses.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "engine/KeySyms.h"
#include "platform/imk/KeyEvent.h"
#include "platform/imk/KeyScript.h"

namespace sorvane::bench {

inline const char* const kPinyinSentences[] = {
    "jintian{space}tianqi{space}hen{space}hao{space},women{space}qu{space}gongyuan{space}sanbu{space}ba{"
    "space}.",
    "wo{space}xiang{space}mai{space}yi{space}ben{space}guanyu{space}lishi{space}de{space}shu{space}",
    "qing{space}ni{space}ba{space}wenjian{space}fa{space}dao{space}wode{space}youxiang{space}.",
    "zhege{space}wentt{backspace}{backspace}i{space}women{space}mingtian{space}zai{space}taolun{space}",
    "ta{space}meitian{space}zaoshang{space}liu{space}dian{space}qichuang{space}paobu{space}",
    "huoche{space}ba{space}dian{space}ban{space}cong{space}shanghai{space}chufa{space}",
    "shi{pagedown}{pagedown}{pageup}{space}jian{space}guo{space}de{space}zhen{space}kuai{space}",
    "wo{space}men{space}gongsi{space}xia{space}ge{space}yue{space}yao{space}banjia{space}le{space}",
    "ni{space}chi{space}fan{space}le{space}ma{space}yiqi{space}qu{space}he{space}kafei{space}ba{space}",
    "zhe{space}jia{space}canting{space}de{space}cai{space}feichang{space}haochi.",
    "mingtian{space}xiawu{space}san{space}dian{space}kaihui{space},qing{space}zhunshi{space}canjia{space}.",
    "ta{space}zai{space}daxue{space}li{space}xuexi{space}jisuanji{space}kexue{space}",
    "zhi2jian{space}yi{space}ge{space}xiaoshi{space}jiu{space}zuo{space}wan{space}le{space}",
    "qing{space}wen{space}qu{space}huochezhan{space}zenme{space}zou{space}",
    "wo{space}de{space}shouji{space}meiyou{space}dian{space}le{space}neng{space}jie{space}ge{space}"
    "chongdianqi{space}ma{space}",
    "zhe{space}ci{space}lvxing{space}women{space}kan{space}dao{space}le{space}hen{space}duo{space}meili{"
    "space}de{space}fengjing{space}",
    "yi{pagedown}{space}dian{space}dou{space}bu{space}nan{space}zhi{space}yao{space}duo{space}lianxi{space}",
    "ta{space}ba{space}shu{space}fang{space}zai{space}zhuozi{space}shang{space}jiu{space}zou{space}le{space}",
    "women{space}yinggai{space}duo{space}guanxin{space}shenbian{space}de{space}renn{backspace}{space}",
    "dianying{space}qi{space}dian{space}kaishi,wo{space}zai{space}menkou{space}deng{space}ni{space}.",
    "xiexie{space}nin{space}de{space}bangzhu{space},women{space}hui{space}jinkuai{space}huifu{space}.",
    "zhe{space}ge{space}zhoumo{space}wo{space}yao{space}qu{space}kan{space}yeye{space}nainai{space}",
    "jin{pagedown}{pagedown}{pageup}{pageup}{space}nian{space}de{space}dongtian{space}bi{space}qunian{space}"
    "leng{space}",
    "ruguo{space}mingtian{space}xiayu,bisai{space}jiu{space}tuichi{space}.",
    "ta{space}shuo{space}hua{space}de{space}shengyin{space}hen{space}xiao{space}wo{space}mei{space}"
    "tingqingchu{space}",
    "qing{space}ba{space}chuanghu{space}guan{space}shang{space}waimian{space}feng{space}hen{space}da{space}",
};

// The sentences as key events, repeated until there are at least `minimum`.
inline std::vector<KeyEvent> pinyinCorpus(std::size_t minimum = 2000) {
    std::vector<KeyEvent> keys;
    while (keys.size() < minimum) {
        for (const char* sentence : kPinyinSentences) {
            auto steps = KeyScript::parse(sentence);
            if (!steps) {
                std::fprintf(stderr, "corpus: %s\n", steps.error().description().c_str());
                std::exit(1);
            }
            for (const KeyScriptStep& step : *steps) {
                if (step.kind == KeyScriptStep::Kind::key && step.event.type == KeyEventType::keyDown)
                    keys.push_back(step.event);
            }
        }
    }
    return keys;
}

// The keysym librime gets for a key, from the controller's own tables.
inline std::uint32_t rawKeysym(const KeyEvent& key) {
    std::optional<std::string_view> character;
    if (!key.characters.empty()) character = std::string_view(key.characters);
    return KeySyms::keysym(key.keyCode, character, false, false);
}

}  // namespace sorvane::bench
