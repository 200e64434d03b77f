// Server bytes to the screen: the DNS client's text of a parsed answer, then the module's
// display escaping, as FormatRecord and RDNS apply it. Each byte is escaped once, by one of
// the two: bytes that are not text and a backslash by the client, control characters by the
// module.
#include <gtest/gtest.h>

#include <string>

#include "dns/output/ServerText.h"
#include "platform/resolver/DnsMessagePosix.h"
#include "tests/platform/resolver/FakeDnsServer.h"

namespace {

constexpr uint16_t Cname = 5, Txt = 16;

// The one record of an answer to r.test, as the module would show its text.
std::wstring Shown(uint16_t type, const Bytes& data) {
    Bytes question = Name("r.test") + Bytes{0, uint8_t(type), 0, 1};
    Bytes message = Response(0, 1);
    message.insert(message.begin() + 12, question.begin(), question.end());
    message = message + Rr(QuestionName, type, data);
    DNS_RECORD* list = nullptr;
    if (DnsParseAnswer(message, Name("r.test"), type, &list) != 0 || list == nullptr)
        return L"<unparsed>";
    const wchar_t* text = type == Txt ? list->Data.TXT.pStringArray[0] : list->Data.CNAME.pNameHost;
    ShownServerText shown(text);
    std::wstring result = shown.text();
    DnsFree(list, DnsFreeRecordList);
    return result;
}

TEST(DisplayChain, WireBytesAreEscapedExactlyOnce) {
    struct Case {
        const char* name;
        uint16_t type;
        Bytes data;
        std::wstring shown;
    } cases[] = {
        {"colour markup in a name", Cname, Bytes{4, 'a', 0x12, 'b', 0x16} + Name("test"),
         L"a\\018b\\022.test"},
        {"escape sequence in a name", Cname, Bytes{5, 0x1B, '[', '2', 'J', 0x07} + Name("t"),
         L"\\027[2J\\007.t"},
        {"UTF-8 label", Cname, Bytes{5, 'c', 'a', 'f', 0xC3, 0xA9} + Name("test"),
         L"caf\u00E9.test"},
        {"C1 control in a name", Cname, Bytes{2, 0xC2, 0x9B} + Name("t"), L"\\194\\155.t"},
        {"invalid byte in a name", Cname, Bytes{2, 0x9B, 'x'} + Name("t"), L"\\155x.t"},
        {"backslash, dot and digits in a label", Cname,
         Bytes{7, '\\', '0', '1', '8', '.', 'x', 0x12} + Name("t"), L"\\\\018\\.x\\018.t"},
        {"NUL and DEL in a name", Cname, Bytes{2, 0, 0x7F} + Name("t"), L"\\000\\127.t"},
        {"colour markup in TXT", Txt, Bytes{8, 'r', 'e', 'd', 0x12, 'b', 'o', 'l', 'd'},
         L"red\\018bold"},
        {"C1 and invalid bytes in TXT", Txt, Bytes{5, 0xC2, 0x85, 0xFF, 0xC3, 'a'},
         L"\\194\\133\\255\\195a"},
        {"backslash in TXT", Txt, Bytes{5, 'a', '\\', '0', '2', '7'}, L"a\\\\027"},
        {"text beyond ASCII in TXT", Txt, Bytes{7, 0xE2, 0x98, 0x83, 0xF0, 0x9F, 0x98, 0x80},
         L"\u2603\U0001F600"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Shown(c.type, c.data), c.shown) << c.name;
}

} // namespace
