// DNS client on Windows: DnsQuery_W and DnsFree of the system. A reply's records are handed on
// only when they come from its answer section; a name with letters outside ASCII goes out in
// its IDNA form. Sessions and batches run their queries on a
// small pool of threads, since DnsQuery_W blocks and DnsQueryEx is not everywhere (wine has a
// stub). A query cannot be cancelled: one that is no longer wanted is abandoned, and its
// thread frees the result when it comes. Every pool thread holds a reference on the module
// while it runs, so the module's code stays loaded until the last of them has left it;
// DnsClientShutdown ends the pool's idle threads and waits until they are gone, and lets those
// still inside DnsQuery_W leave when the system gives up the query, without waiting for them.
//
// The pool sees only the system's final status: it has moved on between servers and waited out
// its own tries already, so a time-out is final here (also one that wine reports as a server
// failure, told by the time it took). A server failure or a refusal that comes at once may only
// mean too many at once (a forwarder refuses above its limit of queries in flight), so such a
// query is asked once more, with fewer at once: each session has a limit on its queries running
// that halves on such an answer (once for the queries that were running together) and grows
// back by one for every limit's worth of good answers to queries started since. The query asked
// again goes ahead of the session's others, and starts only when fewer of them run than when it
// failed.
#include <windows.h>

#include <algorithm>
#include <deque>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "platform/resolver/DnsClient.h"

// The system's function; the module's name for it leads to DnsQueryAnswers.
#undef DnsQuery_W

namespace {

// Enough for every query of a name (nine types and the SOA walk's parent domains) to be under
// way at once, so that a server that never answers costs one query's time per name.
constexpr size_t MaxThreads = 32;
constexpr SIZE_T ThreadStack = 128 * 1024;
// A session's limit on its queries running never halves below this.
constexpr size_t MinRunning = 4;
// A server that turns queries away answers at once, even on a loaded machine with every thread
// of the pool busy. A failure that took the system longer is the end of its own tries at a
// server that did not answer (wine reports such a time-out as 9002, like a server failure,
// after its two tries of 5 s): final, and no sign of too many at once.
constexpr ULONGLONG OverloadAnswerMs = 8000;

// IPv4 servers in the layout of IP4_ARRAY: the count, then the addresses.
using ServerArray = std::vector<uint32_t>;

std::shared_ptr<const ServerArray> CopyServers(const IP4_ARRAY* servers) {
    if (servers == nullptr || servers->AddrCount == 0) return nullptr;
    auto copy = std::make_shared<ServerArray>(size_t(servers->AddrCount) + 1);
    (*copy)[0] = servers->AddrCount;
    for (DWORD i = 0; i < servers->AddrCount; ++i)
        (*copy)[i + 1] = servers->AddrArray[i];
    return copy;
}

IP4_ARRAY* AsArray(const std::shared_ptr<const ServerArray>& servers) {
    // DnsQuery_W takes the array as writable; it does not change it.
    return servers != nullptr ? reinterpret_cast<IP4_ARRAY*>(const_cast<uint32_t*>(servers->data()))
                              : nullptr;
}

// The records of list that come from its answer section, in order; the others are freed.
DNS_RECORD* KeepAnswerSection(DNS_RECORD* list) {
    DNS_RECORD* answers = nullptr;
    DNS_RECORD** answersEnd = &answers;
    DNS_RECORD* others = nullptr;
    DNS_RECORD** othersEnd = &others;
    for (DNS_RECORD* record = list; record != nullptr;) {
        DNS_RECORD* next = record->pNext;
        record->pNext = nullptr;
        DNS_RECORD**& end = record->Flags.S.Section == DnsSectionAnswer ? answersEnd : othersEnd;
        *end = record;
        end = &record->pNext;
        record = next;
    }
    if (others != nullptr) DnsFree(others, DnsFreeRecordList);
    return answers;
}

struct Job {
    std::wstring name;
    uint16_t type = 0;
    uint32_t options = 0;
    std::shared_ptr<const ServerArray> servers;
    DnsSession* session = nullptr; // null once the session gave the query up
    DnsQueryRequest* request = nullptr;
    DNS_STATUS status = 0;
    DNS_RECORD* results = nullptr;
    uint64_t start = 0;      // the session's count of starts when this one started
    bool quick = false;      // its status came within OverloadAnswerMs
    bool askedAgain = false; // after an overload answer
    size_t startBelow = 0;   // asked again: starts only when fewer of the session's queries run
};

void FreeJob(Job* job) {
    if (job->results != nullptr) DnsFree(job->results, DnsFreeRecordList);
    delete job;
}

} // namespace

struct DnsSession {
    uint32_t options = 0;
    std::shared_ptr<const ServerArray> servers;
    std::deque<Job*> waiting;   // submitted, not started; those asked again go first
    std::vector<Job*> running;  // started, not yet answered
    std::deque<Job*> completed; // answered, not yet handed back
    CONDITION_VARIABLE changed = CONDITION_VARIABLE_INIT;
    size_t limit = MaxThreads; // queries running at once
    size_t goodAnswers = 0;    // counted for the limit's growth
    uint64_t starts = 0;       // queries started so far
    uint64_t halvedAt = 0;     // starts when the limit last halved
};

namespace {

// One pool thread. Its handle goes to whoever waits for the thread's end: the shutdown for an
// idle thread, nobody (the thread closes it) for one that was inside a query.
struct WorkerState {
    HMODULE module = nullptr;
    uint64_t generation = 0;
    HANDLE handle = nullptr;
    bool busy = false;
};

// The pool: one lock guards it and every session. Each shutdown starts a new generation; a
// thread of an older one leaves as soon as it is out of its query.
struct Pool {
    SRWLOCK lock = SRWLOCK_INIT;
    CONDITION_VARIABLE work = CONDITION_VARIABLE_INIT;
    std::vector<DnsSession*> sessions; // open, in turn for the free threads
    size_t nextSession = 0;
    std::vector<WorkerState*> workers; // of this generation
    uint64_t generation = 0;
};
Pool ThePool;

class Locked {
  public:
    Locked() { AcquireSRWLockExclusive(&ThePool.lock); }
    ~Locked() { ReleaseSRWLockExclusive(&ThePool.lock); }
    Locked(const Locked&) = delete;
    Locked& operator=(const Locked&) = delete;
};

// Called with the lock held: the next query a session may start, taken from its waiting ones
// and counted as running; null when none may start now. The sessions take turns.
Job* StartNext() {
    const size_t count = ThePool.sessions.size();
    for (size_t i = 0; i < count; ++i) {
        const size_t index = (ThePool.nextSession + i) % count;
        DnsSession* session = ThePool.sessions[index];
        if (session->waiting.empty() || session->running.size() >= session->limit) continue;
        Job* job = session->waiting.front();
        if (job->startBelow != 0 && session->running.size() >= job->startBelow) continue;
        session->waiting.pop_front();
        session->running.push_back(job); // room was reserved when it was submitted
        job->start = session->starts++;
        ThePool.nextSession = (index + 1) % count;
        return job;
    }
    return nullptr;
}

// Called with the lock held when a started query has its status. True when it goes back to
// its session's waiting ones, to be asked again.
bool AskAgain(DnsSession* session, Job* job) {
    // Windows says 9005 for a refusal, wine 9002 for both.
    if (DnsStatusMayBeOverload(job->status) && job->quick) {
        // The queries that ran together with the first one of such answers all met the same
        // load: they halve the limit once between them.
        if (job->start >= session->halvedAt) {
            session->limit = std::max(MinRunning, session->limit / 2);
            session->halvedAt = session->starts;
            session->goodAnswers = 0;
        }
        if (!job->askedAgain && job->results == nullptr) {
            // After those asked again before it, ahead of the rest: the output wants the
            // earlier queries first.
            auto at = session->waiting.begin();
            while (at != session->waiting.end() && (*at)->askedAgain)
                ++at;
            try {
                session->waiting.insert(at, job);
            } catch (...) {
                return false; // no room: this status is the result
            }
            job->askedAgain = true;
            // Once one of those that ran with it has finished, or at once when none runs.
            job->startBelow = std::max<size_t>(session->running.size(), 1);
            return true;
        }
    } else if (DnsStatusAnswersName(job->status) && job->start >= session->halvedAt &&
               (session->waiting.empty() || !session->waiting.front()->askedAgain) &&
               session->limit < MaxThreads && ++session->goodAnswers >= session->limit) {
        // Only what ran within the limit as it is tells that the server copes with it, and
        // not while a query waits to be asked again: it would get the place grown.
        ++session->limit;
        session->goodAnswers = 0;
    }
    return false;
}

DWORD WINAPI Worker(void* parameter) {
    WorkerState* self = static_cast<WorkerState*>(parameter);
    const uint64_t generation = self->generation;
    AcquireSRWLockExclusive(&ThePool.lock);
    for (;;) {
        Job* job = nullptr;
        while (ThePool.generation == generation && (job = StartNext()) == nullptr)
            SleepConditionVariableSRW(&ThePool.work, &ThePool.lock, INFINITE, 0);
        if (job == nullptr) break;
        self->busy = true;
        ReleaseSRWLockExclusive(&ThePool.lock);

        const ULONGLONG asked = GetTickCount64();
        job->status = DnsQueryAnswers(job->name.c_str(), job->type, job->options,
                                      AsArray(job->servers), &job->results, nullptr);
        job->quick = GetTickCount64() - asked < OverloadAnswerMs;

        AcquireSRWLockExclusive(&ThePool.lock);
        self->busy = false;
        if (DnsSession* session = job->session) {
            std::erase(session->running, job);
            // After a shutdown no thread of this generation would start it again.
            if (ThePool.generation != generation || !AskAgain(session, job)) {
                session->completed.push_back(job);
                WakeAllConditionVariable(&session->changed);
            }
            // A place has come free, perhaps two with a grown limit: this thread takes one.
            WakeConditionVariable(&ThePool.work);
        } else {
            ReleaseSRWLockExclusive(&ThePool.lock);
            FreeJob(job); // abandoned: nobody will read it
            AcquireSRWLockExclusive(&ThePool.lock);
        }
    }
    // The shutdown has taken the handle of a thread it waits for; any other closes its own.
    HMODULE module = self->module;
    if (self->handle != nullptr) CloseHandle(self->handle);
    delete self;
    ReleaseSRWLockExclusive(&ThePool.lock);
    FreeLibraryAndExitThread(module, 0);
}

// Called with the lock held: a thread for the new job unless one is free. False when there is
// no thread at all to run it.
bool EnsureThread() {
    const size_t threads = ThePool.workers.size();
    size_t free = 0;
    for (const WorkerState* worker : ThePool.workers)
        free += !worker->busy;
    size_t waiting = 0;
    for (const DnsSession* session : ThePool.sessions)
        waiting += session->waiting.size();
    if (waiting <= free || threads >= MaxThreads) return threads != 0;
    try {
        ThePool.workers.reserve(threads + 1);
    } catch (...) {
        return threads != 0;
    }
    auto* self = new (std::nothrow) WorkerState;
    if (self == nullptr) return threads != 0;
    self->generation = ThePool.generation;
    // The thread keeps the module loaded until it has left its code.
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                            reinterpret_cast<LPCWSTR>(&Worker), &self->module)) {
        delete self;
        return threads != 0;
    }
    HMODULE module = self->module;
    // The thread waits for the lock, held here, before it looks at its state.
    self->handle = CreateThread(nullptr, ThreadStack, Worker, self,
                                STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
    if (self->handle == nullptr) {
        delete self;
        FreeLibrary(module);
        return threads != 0;
    }
    ThePool.workers.push_back(self);
    return true;
}

// A name typed with letters outside ASCII goes out in its IDNA (punycode) form, as on POSIX;
// a name the system cannot convert goes as typed. Returns the name to send.
const wchar_t* WireName(const wchar_t* name, wchar_t (&ascii)[DNS_MAX_NAME_BUFFER_LENGTH]) {
    bool plain = true;
    for (const wchar_t* c = name; *c != L'\0'; ++c)
        if (*c > 0x7F) plain = false;
    if (plain) return name;
    int n = IdnToAscii(0, name, -1, ascii, DNS_MAX_NAME_BUFFER_LENGTH);
    return n > 0 ? ascii : name;
}

} // namespace

DNS_STATUS DnsQueryAnswers(const wchar_t* name, uint16_t type, uint32_t options, IP4_ARRAY* servers,
                           DNS_RECORD** results, void*) {
    if (results == nullptr) return ERROR_INVALID_PARAMETER;
    *results = nullptr;
    if (name == nullptr) return ERROR_INVALID_PARAMETER;
    wchar_t ascii[DNS_MAX_NAME_BUFFER_LENGTH];
    DNS_RECORD* list = nullptr;
    // Only DNS servers are asked: no NetBIOS lookup of a short name without an address.
    DNS_STATUS status = DnsQuery_W(WireName(name, ascii), type, options | DNS_QUERY_NO_NETBT,
                                   servers, &list, nullptr);
    if (status != 0) {
        if (list != nullptr) DnsFree(list, DnsFreeRecordList);
        return status;
    }
    *results = KeepAnswerSection(list);
    return 0;
}

DnsSession* DnsSessionOpen(uint32_t options, const IP4_ARRAY* servers) {
    try {
        auto session = std::make_unique<DnsSession>();
        session->options = options;
        session->servers = CopyServers(servers);
        Locked locked;
        ThePool.sessions.push_back(session.get());
        return session.release();
    } catch (...) {
        return nullptr;
    }
}

bool DnsSessionSubmit(DnsSession* session, DnsQueryRequest* request) {
    if (request == nullptr) return false;
    request->results = nullptr;
    request->status = ERROR_INVALID_PARAMETER;
    if (session == nullptr || request->name == nullptr) return false;
    request->status = ERROR_NOT_ENOUGH_MEMORY;
    Job* job = new (std::nothrow) Job;
    if (job == nullptr) return false;
    try {
        job->name = request->name;
        job->type = request->type;
        job->options = session->options;
        job->servers = session->servers;
        job->session = session;
        job->request = request;

        Locked locked;
        // Room for every submitted query among the running ones, so that starting one cannot
        // fail.
        session->running.reserve(session->waiting.size() + session->running.size() + 1);
        session->waiting.push_back(job);
        if (!EnsureThread()) {
            session->waiting.pop_back();
            delete job;
            return false;
        }
        WakeConditionVariable(&ThePool.work);
    } catch (...) {
        delete job;
        return false;
    }
    request->status = 0;
    return true;
}

size_t DnsSessionWait(DnsSession* session, uint32_t timeoutMs, DnsQueryRequest** done,
                      size_t capacity) {
    if (session == nullptr || done == nullptr || capacity == 0) return 0;
    const ULONGLONG start = GetTickCount64();
    Locked locked;
    while (session->completed.empty() && (!session->running.empty() || !session->waiting.empty())) {
        ULONGLONG waited = GetTickCount64() - start;
        if (waited >= timeoutMs) break;
        SleepConditionVariableSRW(&session->changed, &ThePool.lock,
                                  static_cast<DWORD>(timeoutMs - waited), 0);
    }
    size_t count = 0;
    while (count < capacity && !session->completed.empty()) {
        Job* job = session->completed.front();
        session->completed.pop_front();
        job->request->status = job->status;
        job->request->results = job->results;
        done[count++] = job->request;
        delete job;
    }
    return count;
}

size_t DnsSessionPending(const DnsSession* session) {
    if (session == nullptr) return 0;
    Locked locked;
    return session->waiting.size() + session->running.size() + session->completed.size();
}

void DnsSessionClose(DnsSession* session) {
    if (session == nullptr) return;
    std::deque<Job*> finished;
    std::deque<Job*> unstarted;
    {
        Locked locked;
        finished.swap(session->completed);
        unstarted.swap(session->waiting);
        for (Job* job : session->running)
            job->session = nullptr; // its thread frees it
        session->running.clear();
        std::erase(ThePool.sessions, session);
    }
    for (Job* job : finished)
        FreeJob(job);
    for (Job* job : unstarted)
        FreeJob(job);
    delete session;
}

void DnsQueryBatch(DnsQueryRequest* requests, size_t count, uint32_t options, IP4_ARRAY* servers) {
    if (requests == nullptr) return;
    DnsSession* session = DnsSessionOpen(options, servers);
    if (session == nullptr) {
        for (size_t i = 0; i < count; ++i) {
            requests[i].status = ERROR_NOT_ENOUGH_MEMORY;
            requests[i].results = nullptr;
        }
        return;
    }
    for (size_t i = 0; i < count; ++i)
        DnsSessionSubmit(session, &requests[i]);
    DnsQueryRequest* done[16];
    while (DnsSessionPending(session) > 0)
        DnsSessionWait(session, INFINITE, done, 16);
    DnsSessionClose(session);
}

void DnsClientShutdown() {
    HANDLE idle[MaxThreads];
    DWORD idleCount = 0;
    {
        Locked locked;
        // Idle threads leave at once, and are waited for, so that none is still ending while
        // the host unloads the module or ends the process. One inside DnsQuery_W (which cannot
        // be interrupted) frees what it gets and leaves when the system returns, its module
        // reference keeping the code loaded until then. A module initialised again gets a
        // fresh pool.
        ++ThePool.generation;
        for (WorkerState* worker : ThePool.workers) {
            if (worker->busy || idleCount == MaxThreads) continue;
            idle[idleCount++] = worker->handle;
            worker->handle = nullptr;
        }
        ThePool.workers.clear();
        // Queries not yet started are given up (they hold no results); their sessions no
        // longer wait for them.
        for (DnsSession* session : ThePool.sessions) {
            for (Job* job : session->waiting)
                delete job;
            session->waiting.clear();
            WakeAllConditionVariable(&session->changed);
        }
        WakeAllConditionVariable(&ThePool.work);
    }
    // Bounded, in case a caller holds something a leaving thread needs (the loader lock).
    if (idleCount > 0) WaitForMultipleObjects(idleCount, idle, TRUE, 5000);
    for (DWORD i = 0; i < idleCount; ++i)
        CloseHandle(idle[i]);
}
