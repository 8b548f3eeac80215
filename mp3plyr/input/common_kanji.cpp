#include "mp3plyr/input/common_kanji.h"

#include "mp3plyr/input/utf8_text.h"

#include <algorithm>
#include <string>

namespace pt4 {

namespace {

// First and second school years; then names, places and the words of songs.
constexpr const char* kCommonKanji =
    "一右雨円王音下火花貝学気九休玉金空月犬見五口校左三山子四糸字耳七車手十出女小上森人水正生青夕石赤"
    "千川先早草足村大男竹中虫町天田土二日入年白八百文木本名目立力林六"
    "引羽雲園遠何科夏家歌画回会海絵外角楽活間丸岩顔汽記帰弓牛魚京強教近兄形計元言原戸古午後語工公広交"
    "光考行高黄合谷国黒今才細作算止市矢姉思紙寺自時室社弱首秋週春書少場色食心新親図数西声星晴切雪船線"
    "前組走多太体台地池知茶昼長鳥朝直通弟店点電刀冬当東答頭同道読内南肉馬売買麦半番父風分聞米歩母方北"
    "毎妹万明鳴毛門夜野友用曜来里理話"
    "佐藤鈴橋渡辺伊加吉井清斎阿部松池岡坂近福島和也美恵香菜奈真由希紀彩陽翔輝健郎次雄夫浩誠博隆幸"
    "久保宮崎沢浜野菊梅桜藍蘭百合優愛恋夢涙君僕私彼想約束永遠旅駅港街都阪神奈埼葉縄沖札幌横"
    "笑幸福未唄曲唱奏響団劇祭踊舞悲喜怒哀別離逢待誓願祈信望勇熱冷静暗緑紫銀虹影闇晩桃"
    "故郷初坂季節命運星宇宙翼羽鏡炎氷波浪島丘峠岬湖泉滝雫霧霜嵐虹灯燈宵暁曙黎"
    "第番章楽交響曲集全盤版録演歌謡童唄詩物語伝説英雄神話魔法天使悪鬼龍竜姫皇帝"
    "一二三四五六七八九十百千万億零壱弐参"
    "私達俺貴方誰心臓胸瞳唇髪指肩背腕声息命魂"
    "愛情恋人友達仲間家族兄弟姉妹子供娘息父母祖"
    "春夏秋冬朝昼夜夕晩月日年時分秒週曜"
    "東西南北上下左右前後内外中間"
    "赤青白黒緑黄茶紫金銀色"
    "世界平和自由希望未来過去現在明日昨今"
    "走歩飛泳踊歌叫泣笑怒抱守探追逃待会帰行来見聞話読書思知忘覚"
    "新古若老美醜強弱高低長短大小多少遠近早遅速明暗軽重深浅広狭"
    "道路橋門窓部屋庭園寺城宮殿館院店駅港空港"
    "武館京都府県市区町村郡";

std::u32string SortedKanji()
{
    std::u32string kanji = Utf8CodePoints(kCommonKanji);
    std::sort(kanji.begin(), kanji.end());
    kanji.erase(std::unique(kanji.begin(), kanji.end()), kanji.end());
    return kanji;
}

} // namespace

bool IsCommonKanji(char32_t c)
{
    static const std::u32string kanji = SortedKanji();
    return std::binary_search(kanji.begin(), kanji.end(), c);
}

} // namespace pt4
