#include "language_codes.h"

#include <map>
#include <string_view>

namespace vantrel {

namespace {

// The 639-2/T codes that differ from their 639-2/B twins (Matroska takes B).
const std::map<std::string, std::string>& terminologicalToBibliographic() {
    static const std::map<std::string, std::string> table = {
        {"ces", "cze"}, {"deu", "ger"}, {"ell", "gre"}, {"fas", "per"}, {"fra", "fre"},
        {"isl", "ice"}, {"msa", "may"}, {"nld", "dut"}, {"ron", "rum"}, {"slk", "slo"},
        {"zho", "chi"}, {"sqi", "alb"}, {"hye", "arm"}, {"eus", "baq"}, {"mya", "bur"},
        {"kat", "geo"}, {"mkd", "mac"}, {"mri", "mao"}, {"bod", "tib"}, {"cym", "wel"},
    };
    return table;
}

std::string lower(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
}

} // namespace

std::string iso6392B(const std::string& iso6391) {
    static const std::map<std::string, std::string> kCodes = [] {
        static const char* const kTable =
            "aa:aar ab:abk ae:ave af:afr ak:aka am:amh an:arg ar:ara as:asm av:ava ay:aym az:aze ba:bak "
            "be:bel bg:bul bh:bih bi:bis bm:bam bn:ben bo:tib br:bre bs:bos ca:cat ce:che ch:cha co:cos "
            "cr:cre cs:cze cu:chu cv:chv cy:wel da:dan de:ger dv:div dz:dzo ee:ewe el:gre en:eng eo:epo "
            "es:spa et:est eu:baq fa:per ff:ful fi:fin fj:fij fo:fao fr:fre fy:fry ga:gle gd:gla gl:glg "
            "gn:grn gu:guj gv:glv ha:hau he:heb hi:hin ho:hmo hr:hrv ht:hat hu:hun hy:arm hz:her ia:ina "
            "id:ind ie:ile ig:ibo ii:iii ik:ipk io:ido is:ice it:ita iu:iku ja:jpn jv:jav ka:geo kg:kon "
            "ki:kik kj:kua kk:kaz kl:kal km:khm kn:kan ko:kor kr:kau ks:kas ku:kur kv:kom kw:cor ky:kir "
            "la:lat lb:ltz lg:lug li:lim ln:lin lo:lao lt:lit lu:lub lv:lav mg:mlg mh:mah mi:mao mk:mac "
            "ml:mal mn:mon mr:mar ms:may mt:mlt my:bur na:nau nb:nob nd:nde ne:nep ng:ndo nl:dut nn:nno "
            "no:nor nr:nbl nv:nav ny:nya oc:oci oj:oji om:orm or:ori os:oss pa:pan pi:pli pl:pol ps:pus "
            "pt:por qu:que rm:roh rn:run ro:rum ru:rus rw:kin sa:san sc:srd sd:snd se:sme sg:sag si:sin "
            "sk:slo sl:slv sm:smo sn:sna so:som sq:alb sr:srp ss:ssw st:sot su:sun sv:swe sw:swa ta:tam "
            "te:tel tg:tgk th:tha ti:tir tk:tuk tl:tgl tn:tsn to:ton tr:tur ts:tso tt:tat tw:twi ty:tah "
            "ug:uig uk:ukr ur:urd uz:uzb ve:ven vi:vie vo:vol wa:wln wo:wol xh:xho yi:yid yo:yor za:zha "
            "zh:chi zu:zul iw:heb in:ind ji:yid";
        std::map<std::string, std::string> codes;
        std::string_view t(kTable);
        for (std::size_t i = 0; i + 6 <= t.size(); i += 7) codes.emplace(t.substr(i, 2), t.substr(i + 3, 3));
        return codes;
    }();
    auto it = kCodes.find(lower(iso6391));
    return it == kCodes.end() ? "und" : it->second;
}

std::string language6392(const std::string& code) {
    std::string c = lower(code);
    if (c.size() == 2) return iso6392B(c);
    if (c.size() != 3) return "und";
    const auto& table = terminologicalToBibliographic();
    const auto it = table.find(c);
    return it != table.end() ? it->second : c;
}

} // namespace vantrel
