// Congestion window, pacing and retransmission time-out of one server (DnsServerWindow.h).
#include "platform/resolver/DnsServerWindowPosix.h"

#include <algorithm>
#include <cmath>

namespace {

using std::chrono::duration_cast;

// Weight of one try in the loss rate: it follows about the last sixteen tries.
constexpr double LossWeight = 1.0 / 16;
// The slowest answer fades by this much with every answer: a resolver's cold answers stay
// in mind through the thousands of quick ones from its cache between them.
constexpr double SlowestFade = 0.999;
// The time-out stays this far above the slowest recent answer.
constexpr double SlowestMargin = 1.25;
// Pacing sends a window in half a round trip; the round trip counts as at least this long,
// and at least this many tries may leave at once.
constexpr double PacingRoundTripFloorUs = 1000;
constexpr double PacingMinBurst = 16;

double Us(DnsClock::duration d) {
    return double(duration_cast<DnsDuration>(d).count());
}

double Burst(const DnsServerWindow& w) {
    return std::max(PacingMinBurst, w.window / 4);
}

// Tries per microsecond.
double Rate(const DnsServerWindow& w) {
    double roundTrip =
        w.measured ? std::max(w.srttUs, PacingRoundTripFloorUs) : PacingRoundTripFloorUs;
    return 2 * w.window / roundTrip;
}

void Refill(DnsServerWindow& w, DnsClock::time_point now) {
    if (now > w.lastRefill)
        w.tokens = std::min(Burst(w), w.tokens + Us(now - w.lastRefill) * Rate(w));
    w.lastRefill = now;
}

void Decrease(DnsServerWindow& w, DnsClock::time_point now, DnsClock::time_point sentAt) {
    if (sentAt <= w.lastDecrease) return; // this round trip has had its decrease
    // Half of what was in flight, the try that told included, as TCP halves its flight: the
    // window may have grown far beyond what the caller gave it to send.
    const double flight = std::min(w.window, double(w.inFlight) + 1);
    w.threshold = std::max(DnsMinWindow, flight / 2);
    w.window = w.threshold;
    w.tokens = std::min(w.tokens, Burst(w));
    w.lastDecrease = now;
}

} // namespace

DnsTimeLimits DnsTimeLimitsFor(std::chrono::milliseconds perServer) {
    DnsDuration total = perServer;
    return DnsTimeLimits{total, total / 4,
                         std::min<DnsDuration>(std::chrono::milliseconds(200), total / 8),
                         total / 2};
}

void DnsWindowStart(DnsServerWindow& w, DnsClock::time_point now) {
    w = DnsServerWindow{};
    w.window = DnsInitialWindow;
    w.threshold = DnsMaxWindow;
    w.tokens = Burst(w);
    w.lastRefill = now;
    w.lastDecrease = now - std::chrono::hours(1);
}

bool DnsWindowMaySend(DnsServerWindow& w, DnsClock::time_point now, DnsClock::time_point* ready) {
    if (double(w.inFlight) + 1 > std::floor(w.window)) return false;
    Refill(w, now);
    if (w.tokens >= 1) return true;
    if (ready != nullptr) {
        auto wait = DnsDuration(int64_t(std::ceil((1 - w.tokens) / Rate(w))));
        *ready = now + std::max(wait, DnsDuration(1));
    }
    return false;
}

void DnsWindowSent(DnsServerWindow& w, DnsClock::time_point now) {
    Refill(w, now);
    w.tokens = std::max(0.0, w.tokens - 1);
    ++w.inFlight;
    w.inUse = 2 * double(w.inFlight) >= w.window;
}

bool DnsWindowPresumedLost(const DnsServerWindow& w, DnsClock::time_point now,
                           DnsClock::time_point sentAt) {
    if (!w.measured || w.newestAnsweredSend <= sentAt) return false;
    // Answers overtake each other at a resolver (its cache answers at once, a cold name takes
    // a while): a try counts as lost only when it is later than the slowest recent answer.
    double wait = std::max(w.srttUs + std::max(4 * w.rttVarUs, 1000.0) + w.srttUs / 4,
                           SlowestMargin * w.slowestUs);
    return Us(now - sentAt) > wait;
}

DnsDuration DnsWindowRto(const DnsServerWindow& w, const DnsTimeLimits& limits, unsigned retries) {
    double rto = double(limits.initialRto.count());
    if (w.measured) {
        rto = std::max(w.srttUs + std::max(4 * w.rttVarUs, 1000.0), SlowestMargin * w.slowestUs);
        rto = std::clamp(rto, double(limits.minRto.count()), double(limits.maxRto.count()));
    }
    rto = std::min(rto * std::pow(2.0, std::min(retries, 16u)), double(limits.maxRto.count()));
    return DnsDuration(int64_t(rto));
}

void DnsWindowAnswered(DnsServerWindow& w, DnsClock::time_point now, DnsClock::time_point sentAt,
                       bool counted, bool overloaded) {
    if (counted && w.inFlight > 0) --w.inFlight;
    w.answered = true;
    w.lastAnswer = now;
    w.newestAnsweredSend = std::max(w.newestAnsweredSend, sentAt);
    w.lossRate *= 1 - LossWeight;

    double sample = std::max(Us(now - sentAt), 1.0);
    if (!w.measured) {
        w.measured = true;
        w.srttUs = sample;
        w.rttVarUs = sample / 2;
    } else {
        w.rttVarUs = 0.75 * w.rttVarUs + 0.25 * std::abs(w.srttUs - sample);
        w.srttUs = 0.875 * w.srttUs + 0.125 * sample;
    }
    w.slowestUs = std::max(sample, w.slowestUs * SlowestFade);
    // The quickest rises slowly again, so that a link that became slower is followed.
    w.fastestUs = std::min(sample, w.fastestUs == 0 ? sample : w.fastestUs / SlowestFade);

    if (overloaded) {
        Decrease(w, now, sentAt);
        // What is still in flight when a server turns tries away is about what it takes: the
        // tries it refused come back at once, those it took later. No more go than that.
        w.window = std::max(DnsMinWindow, std::min(w.window, double(w.inFlight)));
        return;
    }
    // Grow only a window in use: an idle one says nothing about what the server can take.
    if (!w.inUse) return;
    w.window += w.window < w.threshold ? 1 : 1 / w.window;
    w.window = std::min(w.window, DnsMaxWindow);
}

void DnsWindowLost(DnsServerWindow& w, DnsClock::time_point now, DnsClock::time_point sentAt) {
    if (w.inFlight > 0) --w.inFlight;
    w.lossRate = w.lossRate * (1 - LossWeight) + LossWeight;
    const bool quiet = !w.answered || w.lastAnswer <= sentAt;
    if (quiet || w.lossRate > DnsCongestionLossRate) Decrease(w, now, sentAt);
}

void DnsWindowCongested(DnsServerWindow& w, DnsClock::time_point now, DnsClock::time_point sentAt) {
    Decrease(w, now, sentAt);
}
