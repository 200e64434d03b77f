// The error prefix in and outside batch files, and status texts.
#include <cwchar>
#include <string>

#include "dns/frame/Errors.h"
#include "dns/frame/HostApi.h"
#include "platform/console/Console.h"
#include "tests/fakes/FakeWorld.h"

namespace {

class ErrorPrefixTest : public FakeWorldTest {};

TEST_F(ErrorPrefixTest, OutsideABatchFile) {
    EXPECT_EQ(PrintErrorPrefix(), 0);
    Qprintf(ConsoleStdError(), L"message\r\n");
    EXPECT_EQ(fake::Err, L"DNS plugin: message\r\n");
    EXPECT_EQ(fake::Out, L"");
}

TEST_F(ErrorPrefixTest, InsideABatchFile) {
    fake::Variables[L"_batch"] = L"1";
    fake::Variables[L"_batchname"] = L"C:\\jobs\\lookup.btm";
    fake::Variables[L"_batchline"] = L"12";
    PrintErrorPrefix();
    EXPECT_EQ(fake::Err, L"DNS plugin: C:\\jobs\\lookup.btm [12]  ");
}

TEST_F(ErrorPrefixTest, PercentInTheBatchNameIsNoFormat) {
    fake::Variables[L"_batch"] = L"2";
    fake::Variables[L"_batchname"] = L"100%s%d.btm";
    fake::Variables[L"_batchline"] = L"3";
    PrintErrorPrefix();
    EXPECT_EQ(fake::Err, L"DNS plugin: 100%s%d.btm [3]  ");
}

TEST_F(ErrorPrefixTest, UnknownBatchVariablePrintsTheBatchPart) {
    fake::Variables.erase(L"_batch");
    PrintErrorPrefix();
    EXPECT_EQ(fake::Err, L"DNS plugin:  []  ");
}

struct StatusCase {
    int32_t code;
    const wchar_t* text;
};

class StatusTextTest : public FakeWorldTest, public ::testing::WithParamInterface<StatusCase> {};

TEST_P(StatusTextTest, Reads) {
    wchar_t text[StatusTextSize];
    std::fill(std::begin(text), std::end(text), L'#');
    EXPECT_EQ(FormatStatusText(GetParam().code, text), 0);
    EXPECT_STREQ(text, GetParam().text);
}
INSTANTIATE_TEST_SUITE_P(
    Codes, StatusTextTest,
    ::testing::Values(
        StatusCase{-1, L"Unknown error"}, StatusCase{9003, L"DNS name does not exist."},
        StatusCase{9002, L"DNS server failure."},
        StatusCase{9501, L"No records found for given DNS query."},
        StatusCase{1460, L"This operation returned because the timeout period expired."},
        StatusCase{0, L"The operation completed successfully."}, StatusCase{12345, L"Error 12345"},
        StatusCase{static_cast<int32_t>(0x80000000u), L"Error -2147483648"},
        StatusCase{-2, L"Error -2"}));

} // namespace
