// RDNS addresses in flight together: the PTR queries of a bounded window of addresses go out
// at once, and the results are printed in argument order, exactly as one at a time.
#include "dns/reverse/ReverseLookups.h"

#include <algorithm>
#include <memory>
#include <new>
#include <vector>

#include "dns/frame/Errors.h"
#include "dns/frame/HostApi.h"
#include "dns/lookup/LookupOrder.h"
#include "dns/reverse/ReverseLookup.h"
#include "platform/console/Console.h"
#include "platform/resolver/DnsClient.h"

namespace {

constexpr int ResultUnreadable = 1;
// RDNS polls no break flag; the wait only bounds how long one call blocks.
constexpr uint32_t WaitSliceMs = 1000;
constexpr size_t DoneCapacity = 64;

int ReportUnreadable(const wchar_t* argument) {
    PrintErrorPrefix();
    Qprintf(ConsoleStdError(), L"Bad IP address: \"%s\"\r\n", argument);
    return ResultUnreadable;
}

int LookupOne(ServerList* servers, const wchar_t* argument, uint32_t options) {
    uint32_t address4 = 0;
    SockAddr6 address6{};
    switch (ParseAddress(argument, &address4, &address6)) {
    case AddressIsV4:
        return ReverseLookupV4(servers, address4, options);
    case AddressIsV6:
        return ReverseLookupV6(servers, &address6, options);
    default:
        return ReportUnreadable(argument);
    }
}

struct ReverseItem {
    const wchar_t* argument = nullptr;
    std::unique_ptr<ReverseNames> names; // from sending to printing
    bool readable = false;
    bool done = false;
};

struct ReversePipeline {
    DnsSession* session = nullptr;
    std::vector<ReverseItem> items;
    // The query of items[i]; the session hands back its address, which gives i.
    std::vector<DnsQueryRequest> requests;
    size_t nextToSend = 0;
    size_t nextToPrint = 0;
    size_t inFlight = 0;
    ~ReversePipeline() {
        if (session != nullptr) DnsSessionClose(session);
        for (size_t i = 0; i < items.size(); ++i)
            if (items[i].done && requests[i].results != nullptr)
                DnsFree(requests[i].results, DnsFreeRecordList);
    }

    void SendWhatFits() {
        while (nextToSend < items.size() && inFlight < MaxQueriesInFlight &&
               nextToSend - nextToPrint < MaxQueriesInFlight) {
            DnsQueryRequest& request = requests[nextToSend];
            ReverseItem& item = items[nextToSend++];
            uint32_t address4 = 0;
            SockAddr6 address6{};
            int kind = ParseAddress(item.argument, &address4, &address6);
            if (kind != AddressIsV4 && kind != AddressIsV6) {
                item.done = true;
                continue;
            }
            item.readable = true;
            item.names = std::make_unique<ReverseNames>();
            if (kind == AddressIsV4)
                BuildReverseNamesV4(address4, *item.names);
            else
                BuildReverseNamesV6(&address6, *item.names);
            request = DnsQueryRequest{item.names->hostName.data(), DNS_TYPE_PTR, 0, nullptr};
            if (DnsSessionSubmit(session, &request)) {
                ++inFlight;
            } else {
                item.done = true;
            }
        }
    }

    int PrintWhatIsReady(uint32_t options) {
        int result = 0;
        for (; nextToPrint < items.size() && items[nextToPrint].done; ++nextToPrint) {
            ReverseItem& item = items[nextToPrint];
            DnsQueryRequest& request = requests[nextToPrint];
            if (!item.readable) {
                result = std::max(result, ReportUnreadable(item.argument));
                continue;
            }
            TraceReverseNames(item.names->addrString.data(), item.names->hostName.data(), options);
            result = std::max(result, PrintPtrResult(item.names->addrString.data(), request.status,
                                                     request.results, options));
            if (request.results != nullptr) DnsFree(request.results, DnsFreeRecordList);
            request.results = nullptr;
            item.names.reset();
        }
        return result;
    }

    void Receive() {
        DnsQueryRequest* done[DoneCapacity];
        size_t n = DnsSessionWait(session, WaitSliceMs, done, DoneCapacity);
        for (size_t i = 0; i < n; ++i) {
            items[static_cast<size_t>(done[i] - requests.data())].done = true;
            --inFlight;
        }
    }
};

} // namespace

int ReverseLookupAll(ServerList* servers, const wchar_t* const* arguments, size_t count,
                     uint32_t options) {
    int result = 0;
    if (OneQueryAtATime()) {
        for (size_t i = 0; i < count; ++i)
            result = std::max(result, LookupOne(servers, arguments[i], options));
        return result;
    }
    try {
        ReversePipeline pipeline;
        pipeline.session =
            DnsSessionOpen(ReverseQueryOptions, servers != nullptr ? AsIp4Array(servers) : nullptr);
        if (pipeline.session == nullptr) {
            for (size_t i = 0; i < count; ++i)
                result = std::max(result, LookupOne(servers, arguments[i], options));
            return result;
        }
        pipeline.items.resize(count);
        pipeline.requests.resize(count);
        for (size_t i = 0; i < count; ++i)
            pipeline.items[i].argument = arguments[i];
        for (;;) {
            pipeline.SendWhatFits();
            result = std::max(result, pipeline.PrintWhatIsReady(options));
            if (pipeline.nextToPrint == count) return result;
            pipeline.Receive();
        }
    } catch (const std::bad_alloc&) {
        return std::max(result, 2);
    }
}
