// Shared set-up of the output engine's unit tests: pager state, colour slots and break flag
// cleared, the console device open, and a switch that makes array allocations fail.
#pragma once
#include <string>

#include "dns/frame/Plugin.h"
#include "dns/output/Highlight.h"
#include "dns/output/Pager.h"
#include "tests/fakes/FakeWorld.h"

namespace outputtest {
// Number of nothrow array allocations still allowed before they fail; -1: never fail.
extern int NothrowArraysLeft;

inline const std::wstring Prompt = L"\r   \u2500\u2500 Press a key to continue \u2500\u2500 ";
inline const std::wstring Erase = L"\r" + std::wstring(60, L' ') + L"\r";
inline const std::wstring Notice = L"<0F>\r ^C \n<07>"; // on the normal attribute 0x07
} // namespace outputtest

class OutputTest : public FakeWorldTest {
  protected:
    void SetUp() override {
        FakeWorldTest::SetUp();
        PageLines = LinesLeft = PauseTime = 0;
        ColorNormal = ColorHighlight = ColorNormalReverse = ColorHighlightReverse = 0;
        ColorContrast = ColorContrastReverse = 0;
        BreakFlag = 0;
        ConsoleOutputHandle = ConsoleOpenOutput();
        outputtest::NothrowArraysLeft = -1;
        // A key wait with nothing scripted would never end: fail it instead.
        fake::OnSleep = [sleeps = 0]() mutable {
            if (++sleeps == 1000000) {
                ADD_FAILURE() << "key wait without a scripted key";
                BreakFlag = 1;
            }
        };
    }
    void TearDown() override {
        BreakFlag = 0;
        outputtest::NothrowArraysLeft = -1;
        PageLines = LinesLeft = PauseTime = 0;
        ColorNormal = 0;
    }
    // The slots LoadHighlightSetting fills for the normal attribute 0x07 without a setting.
    static void HighlightOn() {
        ColorNormal = 0x07;
        ColorHighlight = 0x0F;
        ColorNormalReverse = 0x70;
        ColorHighlightReverse = 0xF0;
        ColorContrast = 0x0E;
        ColorContrastReverse = 0xE0;
    }
};
