// DNS client on Windows: DnsQuery_W and DnsFree of the system. A reply's records are handed on
// only when they come from its answer section; a name with letters outside ASCII goes out in
// its IDNA form. Sessions and batches run their queries on a
// small pool of threads, since DnsQuery_W blocks and DnsQueryEx is not everywhere (wine has a
// stub). A query cannot be cancelled: one that is no longer wanted is abandoned, and its
// thread frees the result when it comes. DnsClientShutdown joins the pool, and every pool
// thread holds a reference on the module while it runs, so no thread runs module code after
// the module is gone.
#include <windows.h>

#include <deque>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "platform/DnsClient.h"

// The system's function; the module's name for it leads to DnsQueryAnswers.
#undef DnsQuery_W

namespace {

constexpr size_t MaxThreads = 8;

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

// The pool: one lock guards it and every session.
struct Pool {
    SRWLOCK lock = SRWLOCK_INIT;
    CONDITION_VARIABLE work = CONDITION_VARIABLE_INIT;
    std::deque<Job*> queue;
    std::vector<HANDLE> threads;
    size_t busy = 0; // threads in a query
    bool stopping = false;
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

DWORD WINAPI Worker(void* module) {
    AcquireSRWLockExclusive(&ThePool.lock);
    for (;;) {
        while (ThePool.queue.empty() && !ThePool.stopping)
            SleepConditionVariableSRW(&ThePool.work, &ThePool.lock, INFINITE, 0);
        if (ThePool.stopping) break;
        Job* job = ThePool.queue.front();
        ThePool.queue.pop_front();
        ++ThePool.busy;
        ReleaseSRWLockExclusive(&ThePool.lock);

        job->status = DnsQueryAnswers(job->name.c_str(), job->type, job->options,
                                      AsArray(job->servers), &job->results, nullptr);

        AcquireSRWLockExclusive(&ThePool.lock);
        --ThePool.busy;
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
    ReleaseSRWLockExclusive(&ThePool.lock);
    FreeLibraryAndExitThread(static_cast<HMODULE>(module), 0);
}

// Called with the lock held: a thread for the new job unless one is free. False when there is
// no thread at all to run it.
bool EnsureThread() {
    size_t free = ThePool.threads.size() - ThePool.busy;
    if (ThePool.queue.size() < free || ThePool.threads.size() >= MaxThreads)
        return !ThePool.threads.empty();
    // The thread keeps the module loaded until it has left its code.
    HMODULE module = nullptr;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                            reinterpret_cast<LPCWSTR>(&Worker), &module))
        return !ThePool.threads.empty();
    HANDLE thread = CreateThread(nullptr, 0, Worker, module, 0, nullptr);
    if (thread == nullptr) {
        FreeLibrary(module);
        return !ThePool.threads.empty();
    }
    try {
        ThePool.threads.push_back(thread);
    } catch (...) {
        // Out of memory for the handle: the thread still serves the queue and sees the stop.
        CloseHandle(thread);
    }
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
        if (ThePool.stopping) {
            delete job;
            return false;
        }
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
    std::vector<HANDLE> threads;
    std::deque<Job*> orphans;
    {
        Locked locked;
        ThePool.stopping = true;
        threads.swap(ThePool.threads);
        orphans.swap(ThePool.queue);
        for (Job* job : orphans)
            if (job->session != nullptr) Erase(job->session->running, job);
        WakeAllConditionVariable(&ThePool.work);
    }
    // A thread in a query finishes it (DnsQuery_W cannot be interrupted), frees what it got
    // and leaves; none takes new work.
    for (HANDLE thread : threads) {
        WaitForSingleObject(thread, INFINITE);
        CloseHandle(thread);
    }
    for (Job* job : orphans)
        FreeJob(job);
    Locked locked;
    ThePool.stopping = false; // a module initialised again gets a fresh pool
}
