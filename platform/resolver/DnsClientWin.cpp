// DNS client on Windows: DnsQuery_W and DnsFree of the system. A reply's records are handed on
// only when they come from its answer section; a name with letters outside ASCII goes out in
// its IDNA form. Sessions and batches run their queries on a
// small pool of threads, since DnsQuery_W blocks and DnsQueryEx is not everywhere (wine has a
// stub). A query cannot be cancelled: one that is no longer wanted is abandoned, and its
// thread frees the result when it comes. Every pool thread holds a reference on the module
// while it runs, so the module's code stays loaded until the last of them has left it;
// DnsClientShutdown ends the pool's idle threads and waits until they are gone, and lets those
// still inside DnsQuery_W leave when the system gives up the query, without waiting for them.
#include <windows.h>

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
};

void FreeJob(Job* job) {
    if (job->results != nullptr) DnsFree(job->results, DnsFreeRecordList);
    delete job;
}

} // namespace

struct DnsSession {
    uint32_t options = 0;
    std::shared_ptr<const ServerArray> servers;
    std::vector<Job*> running;  // submitted, not yet answered
    std::deque<Job*> completed; // answered, not yet handed back
    CONDITION_VARIABLE changed = CONDITION_VARIABLE_INIT;
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
    std::deque<Job*> queue;
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

void Erase(std::vector<Job*>& jobs, Job* job) {
    for (size_t i = 0; i < jobs.size(); ++i) {
        if (jobs[i] == job) {
            jobs.erase(jobs.begin() + static_cast<std::ptrdiff_t>(i));
            return;
        }
    }
}

DWORD WINAPI Worker(void* parameter) {
    WorkerState* self = static_cast<WorkerState*>(parameter);
    const uint64_t generation = self->generation;
    AcquireSRWLockExclusive(&ThePool.lock);
    for (;;) {
        while (ThePool.queue.empty() && ThePool.generation == generation)
            SleepConditionVariableSRW(&ThePool.work, &ThePool.lock, INFINITE, 0);
        if (ThePool.generation != generation) break;
        Job* job = ThePool.queue.front();
        ThePool.queue.pop_front();
        self->busy = true;
        ReleaseSRWLockExclusive(&ThePool.lock);

        job->status = DnsQueryAnswers(job->name.c_str(), job->type, job->options,
                                      AsArray(job->servers), &job->results, nullptr);

        AcquireSRWLockExclusive(&ThePool.lock);
        self->busy = false;
        if (DnsSession* session = job->session) {
            Erase(session->running, job);
            session->completed.push_back(job);
            WakeAllConditionVariable(&session->changed);
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
    if (ThePool.queue.size() <= free || threads >= MaxThreads) return threads != 0;
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
    DNS_STATUS status = DnsQuery_W(WireName(name, ascii), type, options, servers, &list, nullptr);
    if (status != 0) {
        if (list != nullptr) DnsFree(list, DnsFreeRecordList);
        return status;
    }
    *results = KeepAnswerSection(list);
    return 0;
}

DnsSession* DnsSessionOpen(uint32_t options, const IP4_ARRAY* servers) {
    try {
        auto* session = new DnsSession;
        session->options = options;
        session->servers = CopyServers(servers);
        return session;
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
        session->running.reserve(session->running.size() + 1);
        ThePool.queue.push_back(job);
        if (!EnsureThread()) {
            ThePool.queue.pop_back();
            delete job;
            return false;
        }
        session->running.push_back(job);
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
    while (session->completed.empty() && !session->running.empty()) {
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
    return session->running.size() + session->completed.size();
}

void DnsSessionClose(DnsSession* session) {
    if (session == nullptr) return;
    std::deque<Job*> finished;
    {
        Locked locked;
        finished.swap(session->completed);
        for (Job* job : session->running) {
            bool queued = false;
            for (auto it = ThePool.queue.begin(); it != ThePool.queue.end(); ++it) {
                if (*it == job) {
                    ThePool.queue.erase(it);
                    queued = true;
                    break;
                }
            }
            if (queued)
                finished.push_back(job);
            else
                job->session = nullptr; // its thread frees it
        }
        session->running.clear();
    }
    for (Job* job : finished)
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
    std::deque<Job*> orphans;
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
        orphans.swap(ThePool.queue);
        for (Job* job : orphans)
            if (job->session != nullptr) Erase(job->session->running, job);
        WakeAllConditionVariable(&ThePool.work);
    }
    for (Job* job : orphans)
        FreeJob(job);
    // Bounded, in case a caller holds something a leaving thread needs (the loader lock).
    if (idleCount > 0) WaitForMultipleObjects(idleCount, idle, TRUE, 5000);
    for (DWORD i = 0; i < idleCount; ++i)
        CloseHandle(idle[i]);
}
