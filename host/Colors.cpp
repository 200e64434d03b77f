#include "host/Colors.h"

#include <array>
#include <vector>

#include "platform/text/AsciiCase.h"

namespace {

struct ColorName {
    std::wstring_view name;
    int index;
};

constexpr std::array<ColorName, 11> ColorNames{{
    {L"black", 0},
    {L"blue", 1},
    {L"green", 2},
    {L"cyan", 3},
    {L"red", 4},
    {L"magenta", 5},
    {L"yellow", 6},
    {L"brown", 6},
    {L"white", 7},
    {L"grey", 7},
    {L"gray", 7},
}};

std::vector<std::wstring_view> Words(std::wstring_view text) {
    std::vector<std::wstring_view> words;
    size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && (text[i] == L' ' || text[i] == L'\t'))
            ++i;
        size_t start = i;
        while (i < text.size() && text[i] != L' ' && text[i] != L'\t')
            ++i;
        if (i > start) words.push_back(text.substr(start, i - start));
    }
    return words;
}

// Reads "[bright] NAME" at words[at]; returns the colour or -1, advancing at.
int ReadColor(const std::vector<std::wstring_view>& words, size_t& at) {
    int bright = 0;
    if (at < words.size() && SameName(words[at], L"bright")) {
        bright = 8;
        ++at;
    }
    if (at >= words.size()) return -1;
    for (const ColorName& color : ColorNames) {
        if (SameName(words[at], color.name)) {
            ++at;
            return color.index + bright;
        }
    }
    return -1;
}

} // namespace

int ParseColorText(std::wstring_view text, int& foreground, int& background) {
    foreground = -1;
    background = -1;
    std::vector<std::wstring_view> words = Words(text);
    size_t at = 0;
    int fg = ReadColor(words, at);
    int bg = -1;
    if (fg >= 0 && at < words.size()) {
        if (!SameName(words[at], L"on")) {
            fg = -1;
        } else {
            ++at;
            bg = ReadColor(words, at);
            if (bg < 0 || at != words.size()) fg = bg = -1;
        }
    }
    if (fg < 0) return -1;
    foreground = fg;
    background = bg;
    return 0;
}

std::wstring DescribeColor(int attribute) {
    auto name = [](int index) {
        std::wstring text = index & 8 ? L"bright " : L"";
        for (const ColorName& color : ColorNames)
            if (color.index == (index & 7)) return text + std::wstring(color.name);
        return text;
    };
    return name(attribute & 0x0F) + L" on " + name((attribute >> 4) & 0x0F);
}
