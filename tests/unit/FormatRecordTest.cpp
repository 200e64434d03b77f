// Record formatting: every type's lines, TXT truncation, LOC coordinates and altitude.
#include <cstring>
#include <string>
#include <vector>

#include "dns/frame/Plugin.h"
#include "dns/lookup/FormatRecord.h"
#include "dns/output/Highlight.h"
#include "dns/output/Pager.h"
#include "tests/fakes/FakeWorld.h"
#include "tests/fakes/Records.h"

namespace {

// The base fixture turns highlighting and paging off: every line lands in fake::Out as it is.
class FormatRecordTest : public FakeWorldTest {
  protected:
    // Pages after every line end and answers the first prompt with Esc.
    static void BreakAfterLines(uint32_t lines) {
        PageLines = LinesLeft = lines;
        fake::Keys = {27};
    }
};

DNS_RECORD Record(uint16_t type) {
    DNS_RECORD r;
    std::memset(&r, 0, sizeof r);
    r.wType = type;
    return r;
}

DNS_RECORD NameRecord(uint16_t type, const wchar_t* host) {
    DNS_RECORD r = Record(type);
    r.Data.PTR.pNameHost = const_cast<wchar_t*>(host);
    return r;
}

DNS_RECORD LocRecord(uint32_t latitude, uint32_t longitude, uint32_t altitude) {
    TestRecord r(29);
    r.SetLoc(latitude, longitude, altitude);
    return *r;
}

// TXT strings that the formatter may shorten in place.
struct TxtStrings {
    std::vector<std::wstring> texts;
    TestRecord record;
    explicit TxtStrings(std::vector<std::wstring> in)
        : texts(std::move(in)), record(16, texts.size()) {
        std::vector<wchar_t*> pointers;
        for (auto& t : texts)
            pointers.push_back(t.data());
        record.SetTxt(pointers);
    }
    DNS_RECORD* Record() { return record.get(); }
};

constexpr uint32_t Equator = 0x80000000u;

TEST_F(FormatRecordTest, MissingRecordWritesNothing) {
    EXPECT_EQ(FormatRecord(nullptr, 0, false), -1);
    EXPECT_EQ(fake::Out, L"");
}

TEST_F(FormatRecordTest, SingleLineTypes) {
    DNS_RECORD a = Record(1);
    a.Data.A.IpAddress = inet_addr("192.0.2.10");
    DNS_RECORD aaaa = Record(28);
    inet_pton(AF_INET6, "2001:db8::1", const_cast<uint8_t*>(DnsRecordIp6Bytes(&aaaa)));
    DNS_RECORD ns = NameRecord(2, L"ns1.example.net");
    DNS_RECORD cname = NameRecord(5, L"target.example.org");
    DNS_RECORD ptr = NameRecord(12, L"host.example.com");
    DNS_RECORD other = Record(99);
    DNS_RECORD wide = Record(65280);
    struct Case {
        DNS_RECORD* record;
        const wchar_t* line;
    } cases[] = {
        {&a, L"A       ADDRESS     192.0.2.10\r\n"},
        {&aaaa, L"AAAA    ADDRESS     2001:db8::1\r\n"},
        {&ns, L"NS      DNAME       ns1.example.net\r\n"},
        {&cname, L"CNAME   CNAME       target.example.org\r\n"},
        {&ptr, L"PTR     PTRDNAME    host.example.com\r\n"},
        {&other, L"OTHER   [ 99]       \r\n"},
        {&wide, L"OTHER   [65280]       \r\n"},
    };
    for (const Case& c : cases) {
        fake::Out.clear();
        EXPECT_EQ(FormatRecord(c.record, 0, false), 0) << c.line;
        EXPECT_EQ(fake::Out, c.line);
    }
}

TEST_F(FormatRecordTest, MissingNameIsPrintedEmpty) {
    DNS_RECORD ns = NameRecord(2, nullptr);
    EXPECT_EQ(FormatRecord(&ns, 0, false), 0);
    EXPECT_EQ(fake::Out, L"NS      DNAME       \r\n");
}

TEST_F(FormatRecordTest, SoaSevenLines) {
    DNS_RECORD soa = Record(6);
    soa.Data.SOA.pNamePrimaryServer = const_cast<wchar_t*>(L"ns.example.com");
    soa.Data.SOA.pNameAdministrator = const_cast<wchar_t*>(L"hostmaster.example.com");
    soa.Data.SOA.dwSerialNo = 4294967295u;
    soa.Data.SOA.dwRefresh = 7200;
    soa.Data.SOA.dwRetry = 900;
    soa.Data.SOA.dwExpire = 1209600;
    soa.Data.SOA.dwDefaultTtl = 0;
    EXPECT_EQ(FormatRecord(&soa, 0, false), 0);
    EXPECT_EQ(fake::Out, L"SOA     MNAME       ns.example.com\r\n"
                         L"        RNAME       hostmaster.example.com\r\n"
                         L"        SERIAL      4294967295\r\n"
                         L"        REFRESH     7200\r\n"
                         L"        RETRY       900\r\n"
                         L"        EXPIRE      1209600\r\n"
                         L"        MINIMUM     0\r\n");
}

TEST_F(FormatRecordTest, MxTwoLines) {
    DNS_RECORD mx = Record(15);
    mx.Data.MX.pNameExchange = const_cast<wchar_t*>(L"mail.example.com");
    mx.Data.MX.wPreference = 65535;
    EXPECT_EQ(FormatRecord(&mx, 0, false), 0);
    EXPECT_EQ(fake::Out, L"MX      PREFERENCE  65535\r\n"
                         L"        EXCHANGE    mail.example.com\r\n");
}

TEST_F(FormatRecordTest, BreakStopsMultiLineRecord) {
    DNS_RECORD soa = Record(6);
    soa.Data.SOA.pNamePrimaryServer = const_cast<wchar_t*>(L"ns");
    soa.Data.SOA.pNameAdministrator = const_cast<wchar_t*>(L"admin");
    BreakAfterLines(2);
    EXPECT_EQ(FormatRecord(&soa, 0, false), -3);
    EXPECT_EQ(fake::Out, L"SOA     MNAME       ns\r\n        RNAME       admin\r\n");
}

TEST_F(FormatRecordTest, PendingBreakWritesNoLine) {
    DNS_RECORD mx = Record(15);
    mx.Data.MX.pNameExchange = const_cast<wchar_t*>(L"mail");
    BreakFlag = 1;
    EXPECT_EQ(FormatRecord(&mx, 0, false), -3);
    EXPECT_EQ(fake::Out, L"");
}

TEST_F(FormatRecordTest, TxtWithoutStringsWritesNothing) {
    TxtStrings none({});
    EXPECT_EQ(FormatRecord(none.Record(), 40, false), 0);
    EXPECT_EQ(fake::Out, L"");
}

TEST_F(FormatRecordTest, TxtSingleStringTruncation) {
    const std::wstring twenty(20, L'x'); // width 40 keeps 20
    struct Case {
        std::wstring text;
        uint32_t width;
        bool ascii;
        std::wstring shown;
    } cases[] = {
        {twenty, 40, false, twenty},
        {twenty, 40, true, twenty},
        {twenty + L"y", 40, false, std::wstring(19, L'x') + L"\u2026"},
        {twenty + L"y", 40, true, std::wstring(17, L'x') + L"..."},
        {std::wstring(300, L'z'), 0, false, std::wstring(300, L'z')},
        {L"abcdefghijklmnopqrstuvwxy", 40, true, L"abcdefghijklmnopq..."},
        {L"abcdefghijklmnopqrstuvwxy", 40, false, L"abcdefghijklmnopqrs\u2026"},
    };
    for (const Case& c : cases) {
        TxtStrings one({c.text});
        fake::Out.clear();
        EXPECT_EQ(FormatRecord(one.Record(), c.width, c.ascii), 0);
        EXPECT_EQ(fake::Out, L"TXT     TXT         " + c.shown + L"\r\n") << c.text;
    }
}

TEST_F(FormatRecordTest, TxtSeveralStringsNeverTruncated) {
    std::vector<std::wstring> texts;
    for (int i = 0; i < 11; ++i)
        texts.push_back(std::wstring(50, wchar_t(L'a' + i)));
    TxtStrings many(texts);
    EXPECT_EQ(FormatRecord(many.Record(), 40, true), 0);
    std::wstring expected;
    for (int i = 0; i < 11; ++i) {
        std::wstring index = (i < 10 ? L" " : L"") + std::to_wstring(i);
        expected += L"TXT     TXT[" + index + L"]     " + texts[i] + L"\r\n";
    }
    EXPECT_EQ(fake::Out, expected);
    EXPECT_NE(fake::Out.find(L"TXT     TXT[ 0]     "), std::wstring::npos);
    EXPECT_NE(fake::Out.find(L"TXT     TXT[10]     "), std::wstring::npos);
}

TEST_F(FormatRecordTest, TruncateToWidthInPlace) {
    struct Case {
        std::wstring text;
        uint32_t width;
        bool ascii;
        int result;
        std::wstring after;
    } cases[] = {
        {L"", 40, true, 0, L""},
        {L"abc", 23, true, 0, L"abc"},
        {L"abcd", 23, true, 1, L"..."},
        {L"abcd", 23, false, 1, L"ab\u2026"},
        // Fewer kept characters than the ASCII marker: the marker shrinks with them.
        {L"abcd", 22, true, 1, L".."},
        {L"abcd", 21, true, 1, L"."},
        {L"abcd", 21, false, 1, L"\u2026"},
        // No column left for the value: one character is still kept.
        {L"abcd", 20, true, 1, L"."},
        {L"abcd", 1, false, 1, L"\u2026"},
        {L"a", 1, true, 0, L"a"},
    };
    for (Case& c : cases) {
        std::wstring buffer = c.text;
        EXPECT_EQ(TruncateToWidth(buffer.data(), c.width, c.ascii), c.result) << c.text;
        EXPECT_EQ(std::wstring(buffer.c_str()), c.after) << c.text << " width " << c.width;
    }
    EXPECT_EQ(TruncateToWidth(nullptr, 40, false), -1);
}

// Lengths count UTF-16 code units on every platform; a surrogate pair and an escape written
// for display are never cut apart, so such a cut keeps one unit (or up to three) less.
TEST_F(FormatRecordTest, TruncateCountsUtf16UnitsAndKeepsPairsWhole) {
    const std::wstring smile = L"\U0001F600"; // outside the BMP: two UTF-16 units
    std::wstring smiles;
    for (int i = 0; i < 15; ++i)
        smiles += smile;
    auto times = [](const std::wstring& piece, int n) {
        std::wstring out;
        for (int i = 0; i < n; ++i)
            out += piece;
        return out;
    };
    struct Case {
        const char* name;
        std::wstring text;
        uint32_t width;
        bool ascii;
        int result;
        std::wstring after;
    } cases[] = {
        // Ten characters outside the BMP are 20 units: they fit a keep of 20 exactly.
        {"20 units fit", times(smile, 10), 40, false, 0, times(smile, 10)},
        {"21 units do not", times(smile, 10) + L"x", 40, false, 1, times(smile, 9) + L"\u2026"},
        // 19 units of room beside the marker: nine pairs, the tenth would be split.
        {"a pair is not split", smiles, 40, false, 1, times(smile, 9) + L"\u2026"},
        {"ASCII marker, 17 units of room", smiles, 40, true, 1, times(smile, 8) + L"..."},
        {"room ends inside no pair", L"a" + smiles, 40, false, 1,
         L"a" + times(smile, 9) + L"\u2026"},
        {"an escape stays whole", std::wstring(17, L'x') + L"\\027yz", 40, false, 1,
         std::wstring(17, L'x') + L"\u2026"},
        {"a doubled backslash stays whole", std::wstring(18, L'x') + L"\\\\yz", 40, false, 1,
         std::wstring(18, L'x') + L"\u2026"},
        {"an escape that fits", std::wstring(15, L'x') + L"\\027yz", 40, false, 1,
         std::wstring(15, L'x') + L"\\027\u2026"},
        // With UTF-32, two wide characters of two units each cannot make room for the three
        // dots in place; with UTF-16 their four units can.
        {"marker fits where the text was", std::wstring(17, L'x') + times(smile, 2), 40, true, 1,
         std::wstring(sizeof(wchar_t) == 2 ? 17 : 16, L'x') + L"..."},
    };
    for (Case& c : cases) {
        std::wstring buffer = c.text;
        EXPECT_EQ(TruncateToWidth(buffer.data(), c.width, c.ascii), c.result) << c.name;
        EXPECT_EQ(std::wstring(buffer.c_str()), c.after) << c.name;
    }
}

// Names and strings from the server are escaped before they are printed: control characters,
// colour markup among them, show as \DDD and never change a colour.
TEST_F(FormatRecordTest, ServerTextIsEscapedInEveryField) {
    ColorNormal = 0x07; // highlighting on: markup that slipped through would switch colours
    ColorHighlight = 0x0F;
    ColorNormalReverse = ColorHighlightReverse = ColorContrast = ColorContrastReverse = 0x70;
    const wchar_t* hostile = L"a\x12"
                             L"b\x1b[1mc\x16\x9b";
    const std::wstring shown = L"a\\018b\\027[1mc\\022\\194\\155";
    DNS_RECORD ns = NameRecord(2, hostile);
    DNS_RECORD cname = NameRecord(5, hostile);
    DNS_RECORD ptr = NameRecord(12, hostile);
    DNS_RECORD mx = Record(15);
    mx.Data.MX.pNameExchange = const_cast<wchar_t*>(hostile);
    DNS_RECORD soa = Record(6);
    soa.Data.SOA.pNamePrimaryServer = const_cast<wchar_t*>(hostile);
    soa.Data.SOA.pNameAdministrator = const_cast<wchar_t*>(hostile);
    TxtStrings one({hostile});
    DNS_RECORD& txt1 = *one.Record();
    TxtStrings two({hostile, L"\x11"});
    DNS_RECORD& txt2 = *two.Record();
    struct Case {
        DNS_RECORD* record;
        std::wstring expected;
    } cases[] = {
        {&ns, L"NS      DNAME       " + shown + L"\r\n"},
        {&cname, L"CNAME   CNAME       " + shown + L"\r\n"},
        {&ptr, L"PTR     PTRDNAME    " + shown + L"\r\n"},
        {&mx, L"MX      PREFERENCE  0\r\n        EXCHANGE    " + shown + L"\r\n"},
        {&soa,
         L"SOA     MNAME       " + shown + L"\r\n        RNAME       " + shown +
             L"\r\n        SERIAL      0\r\n        REFRESH     0\r\n        RETRY       0\r\n"
             L"        EXPIRE      0\r\n        MINIMUM     0\r\n"},
        {&txt1, L"TXT     TXT         " + shown + L"\r\n"},
        {&txt2, L"TXT     TXT[ 0]     " + shown + L"\r\nTXT     TXT[ 1]     \\017\r\n"},
    };
    for (const Case& c : cases) {
        fake::Screen.clear();
        EXPECT_EQ(FormatRecord(c.record, 0, false), 0);
        // Every line in the normal colour from start to end: "<07>" marks each colour set.
        std::wstring screen;
        for (size_t at = 0, end; (end = c.expected.find(L"\r\n", at)) != std::wstring::npos;
             at = end + 2)
            screen += L"<07>" + c.expected.substr(at, end - at) + L"<07>\r\n";
        EXPECT_EQ(fake::Screen, screen);
    }
}

TEST_F(FormatRecordTest, TxtTruncationCountsTheEscapedText) {
    // Each control byte shows as four columns; the cut falls before an escape, not inside it.
    for (size_t xs : {15, 16}) {
        TxtStrings one({std::wstring(xs, L'x') + L"\x1b[2J"});
        DNS_RECORD& txt = *one.Record();
        fake::Out.clear();
        EXPECT_EQ(FormatRecord(&txt, 40, false), 0);
        std::wstring kept = xs == 15 ? L"\\027" : L""; // 15 + 4 units fit the room of 19
        EXPECT_EQ(fake::Out,
                  L"TXT     TXT         " + std::wstring(xs, L'x') + kept + L"\u2026\r\n");
    }
}

TEST_F(FormatRecordTest, LocCoordinates) {
    struct Case {
        uint32_t value;
        const wchar_t* letters;
        bool ascii;
        const wchar_t* text;
    } cases[] = {
        {Equator, L"NS", false, L"0\u00B0 0\u2032 0.000\u2033 N"},
        {Equator - 1, L"NS", false, L"0\u00B0 0\u2032 0.001\u2033 S"},
        {Equator + 648000000u, L"EW", false, L"180\u00B0 0\u2032 0.000\u2033 E"},
        {Equator - 648000000u, L"EW", false, L"180\u00B0 0\u2032 0.000\u2033 W"},
        {Equator + 185025123u, L"NS", false, L"51\u00B0 23\u2032 45.123\u2033 N"},
        {Equator + 185025123u, L"NS", true, L"51\u00B0 23' 45.123\" N"},
        {Equator - 1, L"EW", true, L"0\u00B0 0' 0.001\" W"},
        // No range check: the extremes print as they come.
        {0xFFFFFFFFu, L"NS", false, L"596\u00B0 31\u2032 23.647\u2033 N"},
        {0, L"NS", false, L"596\u00B0 31\u2032 23.648\u2033 S"},
    };
    for (const Case& c : cases) {
        wchar_t out[LocTextSize] = {};
        EXPECT_EQ(FormatLocCoordinate(c.value, c.letters, c.ascii, out), 0);
        EXPECT_EQ(std::wstring(out), c.text) << c.value;
    }
    wchar_t out[LocTextSize] = {};
    EXPECT_EQ(FormatLocCoordinate(Equator, nullptr, false, out), -1);
    EXPECT_EQ(FormatLocCoordinate(Equator, L"N", false, out), -1);
    EXPECT_EQ(FormatLocCoordinate(Equator, L"NS", false, nullptr), -1);
}

TEST_F(FormatRecordTest, LocLineAndAltitude) {
    struct Case {
        uint32_t altitude;
        const wchar_t* metres;
    } cases[] = {
        {10000000, L"0m"}, {10123456, L"1234m"}, {9999500, L"-5m"},           {9999999, L"0m"},
        {9999900, L"-1m"}, {0, L"-100000m"},     {0xFFFFFFFFu, L"42849672m"},
    };
    for (const Case& c : cases) {
        DNS_RECORD loc = LocRecord(Equator, Equator + 648000000u, c.altitude);
        fake::Out.clear();
        EXPECT_EQ(FormatRecord(&loc, 0, false), 0);
        EXPECT_EQ(fake::Out, std::wstring(L"LOC     LOCATION    0\u00B0 0\u2032 0.000\u2033 N  "
                                          L"180\u00B0 0\u2032 0.000\u2033 E  ") +
                                 c.metres + L"\r\n");
    }
}

TEST_F(FormatRecordTest, LocAsciiForm) {
    DNS_RECORD loc = LocRecord(Equator - 1, Equator - 3600000u, 10000100);
    EXPECT_EQ(FormatRecord(&loc, 0, true), 0);
    EXPECT_EQ(fake::Out, L"LOC     LOCATION    0\u00B0 0' 0.001\" S  1\u00B0 0' 0.000\" W  1m\r\n");
}

} // namespace
