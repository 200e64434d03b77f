// The names of one DNS command: every query of a name at once (the record types and the SOA
// walk's parent domains together), the names of a bounded window in flight while the output
// of the first one is written, and the output exactly what one query at a time would give.
#include "dns/lookup/LookupNames.h"

#include <algorithm>
#include <list>
#include <new>
#include <type_traits>
#include <vector>

#include "dns/frame/Plugin.h"
#include "dns/lookup/LookupName.h"
#include "dns/lookup/LookupOrder.h"
#include "dns/lookup/QueryName.h"
#include "dns/output/Pager.h"
#include "platform/resolver/DnsClient.h"
#include "platform/system/Clock.h"

namespace {

// Between two looks at the break flag, so that a break during the wait is noticed at once.
constexpr uint32_t WaitSliceMs = 20;
constexpr size_t DoneCapacity = 64;

enum class QueryState : uint8_t { Planned, InFlight, Done, Skipped };

struct NameLookup;

struct PlannedQuery {
    DnsQueryRequest request; // first member: the session hands back its address
    NameLookup* owner = nullptr;
    uint8_t step = 0; // index into LookupSteps
    QueryState state = QueryState::Planned;
    uint64_t doneAt = 0;
};
static_assert(std::is_standard_layout_v<PlannedQuery>);

// One name: its queries in the order the one-at-a-time walk would ask them, and how far its
// sending and its output have come.
struct NameLookup {
    const wchar_t* name = nullptr;
    std::vector<PlannedQuery> queries;
    size_t nextToSend = 0;
    size_t inFlight = 0;
    uint64_t firstSent = 0; // its own network time: first query out ...
    uint64_t lastUsed = 0;  // ... to the last answer its output needed
    bool headerDone = false;
    size_t nextToPrint = 0;
    bool soaFound = false;
    uint32_t total = 0;
    NameFailures failures;
};

bool IsSoa(const PlannedQuery& query) {
    return LookupSteps[query.step].type == DNS_TYPE_SOA;
}

bool HasRecords(const PlannedQuery& query) {
    return query.state == QueryState::Done && query.request.status == 0 &&
           CountRecords(query.request.results, query.request.type) != 0;
}

void FreeResults(PlannedQuery& query) {
    if (query.request.results != nullptr) DnsFree(query.request.results, DnsFreeRecordList);
    query.request.results = nullptr;
}

// The plan of one name: a query per record type, for SOA one per name of the walk.
void Plan(NameLookup& lookup, const wchar_t* name) {
    lookup.name = name;
    if (name == nullptr || name[0] == L'\0') return;
    const bool reverse = IsReverseName(name);
    size_t count = 0;
    for (const LookupStep& step : LookupSteps) {
        if (step.type == DNS_TYPE_PTR && !reverse) continue;
        if (step.type != DNS_TYPE_SOA) {
            ++count;
            continue;
        }
        for (const wchar_t* walk = name; walk != nullptr; walk = ParentDomain(walk))
            ++count;
    }
    lookup.queries.reserve(count); // the session keeps pointers into it: no reallocation
    for (size_t s = 0; s < std::size(LookupSteps); ++s) {
        const LookupStep& step = LookupSteps[s];
        if (step.type == DNS_TYPE_PTR && !reverse) continue;
        for (const wchar_t* walk = name; walk != nullptr;
             walk = step.type == DNS_TYPE_SOA ? ParentDomain(walk) : nullptr) {
            PlannedQuery& query = lookup.queries.emplace_back();
            query.request = DnsQueryRequest{walk, step.type, 0, nullptr};
            query.owner = &lookup;
            query.step = static_cast<uint8_t>(s);
        }
    }
}

struct Pipeline {
    DnsSession* session = nullptr;
    uint32_t flags = 0;
    uint32_t width = 0;
    const wchar_t* const* names = nullptr;
    size_t count = 0;
    size_t nextName = 0;
    std::list<NameLookup> window;   // from the name being printed on
    std::list<NameLookup> draining; // printed, with queries still out
    size_t inFlight = 0;
    int lastResult = OutputDone;
    bool anyFailed = false; // a query some name's output needed failed

    ~Pipeline() {
        // Closing gives up what is in flight; what came in and was not printed is freed here.
        if (session != nullptr) DnsSessionClose(session);
        for (std::list<NameLookup>* names : {&window, &draining})
            for (NameLookup& lookup : *names)
                for (PlannedQuery& query : lookup.queries)
                    if (query.state == QueryState::Done) FreeResults(query);
    }

    // A later name of the SOA walk is not needed once an earlier one has records.
    static bool WalkDecided(const NameLookup& lookup, const PlannedQuery& query) {
        if (!IsSoa(query)) return false;
        for (const PlannedQuery* earlier = lookup.queries.data(); earlier != &query; ++earlier)
            if (IsSoa(*earlier) && HasRecords(*earlier)) return true;
        return false;
    }

    // Sends queries in name order while the window has room.
    void SendWhatFits() {
        auto lookup = window.begin();
        while (inFlight < MaxQueriesInFlight) {
            while (lookup != window.end() && lookup->nextToSend == lookup->queries.size())
                ++lookup;
            if (lookup == window.end()) {
                if (window.size() >= MaxNamesAhead || nextName == count) return;
                Plan(window.emplace_back(), names[nextName++]);
                lookup = std::prev(window.end());
                continue;
            }
            PlannedQuery& query = lookup->queries[lookup->nextToSend++];
            if (WalkDecided(*lookup, query)) {
                query.state = QueryState::Skipped;
                continue;
            }
            const uint64_t now = ClockSystemTime();
            if (lookup->nextToSend == 1) lookup->firstSent = lookup->lastUsed = now;
            if (DnsSessionSubmit(session, &query.request)) {
                query.state = QueryState::InFlight;
                ++lookup->inFlight;
                ++inFlight;
            } else { // refused at once (a name the resolver cannot send): complete already
                query.state = QueryState::Done;
                query.doneAt = now;
            }
        }
    }

    void Completed(DnsQueryRequest* request) {
        auto* query = reinterpret_cast<PlannedQuery*>(request);
        NameLookup* lookup = query->owner;
        query->state = QueryState::Done;
        query->doneAt = ClockSystemTime();
        --lookup->inFlight;
        --inFlight;
        if (lookup->nextToPrint < lookup->queries.size()) return;
        // A name already printed: this answer is not needed.
        FreeResults(*query);
        if (lookup->inFlight == 0)
            draining.remove_if([lookup](const NameLookup& l) { return &l == lookup; });
    }

    // Takes what the session has completed, waiting at most ms.
    void Receive(uint32_t ms) {
        DnsQueryRequest* done[DoneCapacity];
        size_t n = DnsSessionWait(session, ms, done, DoneCapacity);
        for (size_t i = 0; i < n; ++i)
            Completed(done[i]);
    }

    // Prints the current name as far as its answers are in; then the next ones. Returns
    // OutputBreak, or 0 when it has to wait for more answers or all names are printed.
    int PrintWhatIsReady() {
        while (!window.empty()) {
            NameLookup& lookup = window.front();
            if (lookup.queries.empty()) { // an empty name: nothing is written
                lastResult = OutputNoInput;
                window.pop_front();
                continue;
            }
            if (!lookup.headerDone) {
                lookup.headerDone = true;
                if (WriteNameHeader(lookup.name, flags) == OutputBreak) return OutputBreak;
            }
            for (; lookup.nextToPrint < lookup.queries.size(); ++lookup.nextToPrint) {
                PlannedQuery& query = lookup.queries[lookup.nextToPrint];
                if (query.state == QueryState::Skipped || (IsSoa(query) && lookup.soaFound))
                    continue;
                if (query.state != QueryState::Done) return OutputDone;
                lookup.lastUsed = std::max(lookup.lastUsed, query.doneAt);
                const LookupStep& step = LookupSteps[query.step];
                bool found = false;
                int result =
                    PrintQueryResult(query.request.status, query.request.results, step.type,
                                     flags | step.extraFlags, width, &lookup.total, &found);
                NoteQueryOutcome(&lookup.failures, step.type, query.request.status);
                FreeResults(query);
                if (IsSoa(query) && found) lookup.soaFound = true;
                if (result == OutputBreak) return OutputBreak;
            }
            lastResult = FinishName(lookup.name, lookup.total, flags,
                                    lookup.lastUsed - lookup.firstSent, lookup.failures);
            if (lastResult == OutputBreak) return OutputBreak;
            if (lastResult == LookupQueryFailed) anyFailed = true;
            for (PlannedQuery& query : lookup.queries) // walk answers that were not needed
                if (query.state == QueryState::Done) FreeResults(query);
            if (lookup.inFlight != 0)
                draining.splice(draining.end(), window, window.begin());
            else
                window.pop_front();
            SendWhatFits(); // a name left the window
        }
        return OutputDone;
    }

    bool Finished() const { return window.empty() && nextName == count; }
    int Result() const { return anyFailed ? LookupQueryFailed : lastResult; }
};

// The pipeline whose page prompt is waiting: its queries go on meanwhile.
Pipeline* Prompting = nullptr;

void KeepReceiving(uint32_t ms) {
    if (Prompting == nullptr || DnsSessionPending(Prompting->session) == 0) {
        ClockSleep(ms);
        return;
    }
    Prompting->Receive(ms);
    Prompting->SendWhatFits();
}

// Sets the prompt's idle work for the run of one pipeline.
struct PromptHook {
    explicit PromptHook(Pipeline& pipeline) {
        Prompting = &pipeline;
        PageWaitIdle = KeepReceiving;
    }
    ~PromptHook() {
        PageWaitIdle = nullptr;
        Prompting = nullptr;
    }
};

int BreakWhileWaiting() {
    WriteBreakNotice();
    return OutputBreak;
}

int LookupPipelined(Pipeline& pipeline) {
    PromptHook hook(pipeline);
    pipeline.SendWhatFits();
    for (;;) {
        if (pipeline.PrintWhatIsReady() == OutputBreak) return OutputBreak;
        if (pipeline.Finished()) return pipeline.Result();
        if (BreakFlag.load() != 0) return BreakWhileWaiting();
        pipeline.Receive(WaitSliceMs);
        if (BreakFlag.load() != 0) return BreakWhileWaiting();
        pipeline.SendWhatFits();
    }
}

int LookupOneAtATime(ServerList* servers, const wchar_t* const* names, size_t count, uint32_t flags,
                     uint32_t width) {
    int result = OutputDone;
    bool anyFailed = false;
    for (size_t i = 0; i < count; ++i) {
        result = LookupName(servers, names[i], flags, width);
        if (result == OutputBreak) return OutputBreak;
        if (result == LookupQueryFailed) anyFailed = true;
    }
    return anyFailed ? LookupQueryFailed : result;
}

} // namespace

int LookupNames(ServerList* servers, const wchar_t* const* names, size_t count, uint32_t flags,
                uint32_t width) {
    if (OneQueryAtATime()) return LookupOneAtATime(servers, names, count, flags, width);
    try {
        Pipeline pipeline;
        pipeline.session =
            DnsSessionOpen(ForwardQueryOptions, servers != nullptr ? AsIp4Array(servers) : nullptr);
        if (pipeline.session == nullptr)
            return LookupOneAtATime(servers, names, count, flags, width);
        pipeline.flags = flags;
        pipeline.width = width;
        pipeline.names = names;
        pipeline.count = count;
        return LookupPipelined(pipeline);
    } catch (const std::bad_alloc&) {
        return OutputNoMemory;
    }
}
