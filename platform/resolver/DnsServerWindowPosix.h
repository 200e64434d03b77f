// How the POSIX DNS client paces one server: how many tries may be on their way to it at once
// (a congestion window, as TCP keeps one), when the next may leave (pacing, so that a burst
// does not overrun the server's socket buffer), and when an unanswered try counts as lost (a
// retransmission time-out from the measured round trip, as RFC 6298 computes it for TCP).
// Pure: every time comes in as an argument, so that the rules are tested without a network.
#pragma once
#include <chrono>
#include <cstddef>

using DnsClock = std::chrono::steady_clock;
using DnsDuration = std::chrono::microseconds;

// The time limits a session works with, all derived from the time a query may spend on one
// server.
struct DnsTimeLimits {
    DnsDuration perServer;  // a query's whole time on one server, retries included
    DnsDuration initialRto; // before the first round trip was measured
    DnsDuration minRto;     // never retransmit sooner: a cold recursive answer takes a while
    DnsDuration maxRto;
};
DnsTimeLimits DnsTimeLimitsFor(std::chrono::milliseconds perServer);

struct DnsServerWindow {
    // Round trip: smoothed time and its variation; the slowest recent answer, which keeps the
    // time-out above a resolver's cold answers when most answers come from its cache.
    bool measured = false;
    double srttUs = 0;
    double rttVarUs = 0;
    double slowestUs = 0;
    double fastestUs = 0; // what the link alone costs, for the pacing

    // Window: tries on their way, and how many may be.
    double window = 0;
    double threshold = 0; // slow start below it, additive increase above
    size_t inFlight = 0;
    bool inUse = false;                  // the last try left with the window half full or more
    DnsClock::time_point lastDecrease{}; // only tries sent later can shrink the window again

    // Recent share of tries lost, when the server last answered anything, and the send time of
    // the latest try it answered.
    double lossRate = 0;
    bool answered = false;
    DnsClock::time_point lastAnswer{};
    DnsClock::time_point newestAnsweredSend{};

    // Pacing: tries that may leave at once, refilled at the window's rate per round trip.
    double tokens = 0;
    DnsClock::time_point lastRefill{};
};

inline constexpr double DnsInitialWindow = 64;
inline constexpr double DnsMinWindow = 4;
inline constexpr double DnsMaxWindow = 1024;
// Above this share of lost tries a loss is congestion even while other answers arrive.
inline constexpr double DnsCongestionLossRate = 0.1;

void DnsWindowStart(DnsServerWindow& window, DnsClock::time_point now);

// Whether one more try may leave now; if not and the window has room, *ready (when given)
// receives the time the pacing lets the next one go.
bool DnsWindowMaySend(DnsServerWindow& window, DnsClock::time_point now,
                      DnsClock::time_point* ready = nullptr);
void DnsWindowSent(DnsServerWindow& window, DnsClock::time_point now);

// Whether a try sent at sentAt, still unanswered, is presumably lost: tries sent after it were
// answered, and it has waited well beyond the usual round trip. It then leaves the window (a
// sign of congestion, DnsWindowLost) but is not sent again before its time-out, so that a
// resolver's slow answer is not asked twice.
bool DnsWindowPresumedLost(const DnsServerWindow& window, DnsClock::time_point now,
                           DnsClock::time_point sentAt);

// The time-out of a try sent now that was sent `retries` times before.
DnsDuration DnsWindowRto(const DnsServerWindow& window, const DnsTimeLimits& limits,
                         unsigned retries);

// An answer to a try sent at sentAt; counted says whether the try still counted as in flight
// (not yet declared lost). The window grows unless the answer says the server is overloaded.
void DnsWindowAnswered(DnsServerWindow& window, DnsClock::time_point now,
                       DnsClock::time_point sentAt, bool counted, bool overloaded);

// A try sent at sentAt was not answered in time. Random loss while the server keeps answering
// is not congestion; a loss when the server has gone quiet, or when many tries are lost, is.
void DnsWindowLost(DnsServerWindow& window, DnsClock::time_point now, DnsClock::time_point sentAt);

// A sign of congestion from a try sent at sentAt (an overload answer, a rate limiter's
// truncated reply): the window halves, at most once a round trip.
void DnsWindowCongested(DnsServerWindow& window, DnsClock::time_point now,
                        DnsClock::time_point sentAt);
