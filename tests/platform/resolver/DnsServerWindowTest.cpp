// The rules of one server's window, pacing and time-out, with the clock in the test's hands.
#include <gtest/gtest.h>

#include "platform/resolver/DnsServerWindowPosix.h"

namespace {

using namespace std::chrono_literals;

class DnsServerWindowTest : public ::testing::Test {
  protected:
    void SetUp() override { DnsWindowStart(w, now); }
    // Sends as many as the window and pacing let go now; returns how many.
    size_t SendAll() {
        size_t sent = 0;
        while (DnsWindowMaySend(w, now)) {
            DnsWindowSent(w, now);
            ++sent;
        }
        return sent;
    }
    // Sends until the window is full, the clock going on as the pacing asks.
    size_t FillWindow() {
        size_t sent = 0;
        for (;;) {
            DnsClock::time_point ready{};
            if (DnsWindowMaySend(w, now, &ready)) {
                DnsWindowSent(w, now);
                ++sent;
            } else if (ready > now) {
                now = ready;
            } else {
                return sent;
            }
        }
    }
    DnsClock::time_point now = DnsClock::time_point() + 1h;
    DnsServerWindow w;
    DnsTimeLimits limits = DnsTimeLimitsFor(4000ms);
};

TEST_F(DnsServerWindowTest, StartsModestAndGrowsWhileAnswersCome) {
    EXPECT_EQ(FillWindow(), size_t(DnsInitialWindow));
    DnsClock::time_point sent = now;
    now += 10ms;
    for (int i = 0; i < int(DnsInitialWindow); ++i)
        DnsWindowAnswered(w, now, sent, true, false);
    EXPECT_EQ(w.window, 2 * DnsInitialWindow) << "doubles in a round trip while slow-starting";
    EXPECT_EQ(w.inFlight, 0u);
}

TEST_F(DnsServerWindowTest, AnIdleWindowDoesNotGrow) {
    DnsWindowSent(w, now);
    DnsWindowAnswered(w, now + 1ms, now, true, false);
    EXPECT_EQ(w.window, DnsInitialWindow);
}

TEST_F(DnsServerWindowTest, HalvesAtMostOnceARoundTrip) {
    FillWindow();
    DnsClock::time_point firstRound = now;
    now += 5ms;
    DnsWindowCongested(w, now, firstRound);
    DnsWindowCongested(w, now, firstRound);
    DnsWindowAnswered(w, now, firstRound, true, true);
    EXPECT_EQ(w.window, DnsInitialWindow / 2) << "signals of one round trip count once";
    now += 1ms;
    DnsWindowSent(w, now);
    DnsClock::time_point secondRound = now;
    now += 5ms;
    DnsWindowCongested(w, now, secondRound);
    EXPECT_EQ(w.window, DnsInitialWindow / 4) << "a try sent after the decrease halves again";
    for (int i = 0; i < 8; ++i) {
        now += 1ms;
        DnsWindowCongested(w, now, now - 1us);
    }
    EXPECT_EQ(w.window, DnsMinWindow) << "not below the minimum";
}

TEST_F(DnsServerWindowTest, ARefusingServerGetsNoMoreThanItTook) {
    // A forwarder that takes 16 at once refuses the rest of a window at once.
    FillWindow();
    DnsClock::time_point sent = now;
    now += 1ms;
    for (int i = 16; i < int(DnsInitialWindow); ++i)
        DnsWindowAnswered(w, now, sent, true, true);
    EXPECT_EQ(w.inFlight, 16u);
    EXPECT_EQ(w.window, 16) << "the tries it took";
    EXPECT_GT(w.threshold, 16) << "no lower than one halving: it may take more later";
}

TEST_F(DnsServerWindowTest, RandomLossWhileAnswersArriveIsNotCongestion) {
    FillWindow();
    DnsClock::time_point lostTry = now;
    now += 5ms;
    DnsWindowAnswered(w, now, lostTry, true, false); // the others keep coming
    now += 300ms;
    DnsWindowLost(w, now, lostTry);
    EXPECT_EQ(w.window, DnsInitialWindow + 1);
}

TEST_F(DnsServerWindowTest, LossFromAQuietServerIsCongestion) {
    FillWindow();
    DnsClock::time_point lostTry = now;
    now += 300ms;
    DnsWindowLost(w, now, lostTry);
    EXPECT_EQ(w.window, DnsInitialWindow / 2);
}

TEST_F(DnsServerWindowTest, ManyLossesAreCongestionEvenWhileAnswersArrive) {
    w.window = 64;
    for (int i = 0; i < 8; ++i) {
        DnsClock::time_point sent = now;
        DnsWindowSent(w, now);
        DnsWindowSent(w, now);
        now += 5ms;
        DnsWindowAnswered(w, now, sent, true, false);
        DnsWindowLost(w, now, sent);
        now += 20ms;
    }
    EXPECT_GT(w.lossRate, DnsCongestionLossRate);
    EXPECT_LT(w.window, 64);
}

TEST_F(DnsServerWindowTest, TimeOutFollowsTheRoundTripWithinItsBounds) {
    EXPECT_EQ(DnsWindowRto(w, limits, 0), limits.initialRto) << "nothing measured yet";
    EXPECT_EQ(DnsWindowRto(w, limits, 1), 2 * limits.initialRto) << "backs off";
    for (int i = 0; i < 20; ++i) {
        DnsWindowSent(w, now);
        DnsWindowAnswered(w, now + 2ms, now, true, false);
        now += 10ms;
    }
    EXPECT_EQ(DnsWindowRto(w, limits, 0), limits.minRto) << "a quick server: the floor";
    EXPECT_EQ(DnsWindowRto(w, limits, 20), limits.maxRto);

    DnsWindowSent(w, now);
    DnsWindowAnswered(w, now + 900ms, now, true, false); // a resolver's cold answer
    EXPECT_GT(DnsWindowRto(w, limits, 0), 900ms) << "not asked twice while it resolves";
}

TEST_F(DnsServerWindowTest, BurstsArePaced) {
    w.window = 256;
    size_t burst = SendAll();
    EXPECT_LT(burst, 256u);
    DnsClock::time_point ready;
    EXPECT_FALSE(DnsWindowMaySend(w, now, &ready));
    EXPECT_GT(ready, now);
    now = ready;
    EXPECT_TRUE(DnsWindowMaySend(w, now));
}

} // namespace
