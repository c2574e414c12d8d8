#include "common/LargeStack.h"

#include <malloc.h>
#include <pthread.h>
#include <sys/resource.h>

#include <cerrno>
#include <cstring>
#include <exception>
#include <new>
#include <string>

#include "common/Fatal.h"

namespace axf {
namespace {

struct Job {
    const std::function<void()>* fn;
    std::exception_ptr error;
};

void* runJob(void* arg) {
    Job* job = static_cast<Job*>(arg);
    try {
        (*job->fn)();
    } catch (...) {
        job->error = std::current_exception();
    }
    return nullptr;
}

// Starts the worker with a stack of `bytes`; the error number of a failure.
int startWorker(pthread_t& thread, Job& job, std::size_t bytes) {
    pthread_attr_t attr;
    if (pthread_attr_init(&attr) != 0) throw InternalError("runWithLargeStack: pthread_attr_init failed");
    int rc = pthread_attr_setstacksize(&attr, bytes);
    if (rc != 0) {
        pthread_attr_destroy(&attr);
        throw InternalError(std::string("runWithLargeStack: cannot set stack size: ") + std::strerror(rc));
    }
    rc = pthread_create(&thread, &attr, runJob, &job);
    pthread_attr_destroy(&attr);
    return rc;
}

// Under an address-space limit the stack takes at most an eighth of it, halved
// from the asked size, so that the document and its index keep the rest.
std::size_t fitAddressSpaceLimit(std::size_t bytes, std::size_t smallestBytes) {
    rlimit limit{};
    if (getrlimit(RLIMIT_AS, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return bytes;
    const auto share = static_cast<std::size_t>(limit.rlim_cur / 8);
    while (bytes > share && bytes / 2 >= smallestBytes) bytes /= 2;
    return bytes;
}

}  // namespace

void runWithLargeStack(const std::function<void()>& fn, std::size_t stackBytes, std::size_t smallestBytes) {
    // The worker allocates from the one heap the process has: a heap of its
    // own would reserve 64 MiB of address space, which an address-space
    // limit counts, and only one thread runs at a time.
#ifdef M_ARENA_MAX
    mallopt(M_ARENA_MAX, 1);
#endif
    Job job{&fn, nullptr};
    pthread_t thread;
    std::size_t bytes = fitAddressSpaceLimit(stackBytes, smallestBytes);
    for (;;) {
        int rc = startWorker(thread, job, bytes);
        if (rc == 0) break;
        // The stack could not be reserved: try one of half the size.
        if (rc != EAGAIN && rc != ENOMEM)
            throw InternalError(std::string("runWithLargeStack: cannot start worker: ") + std::strerror(rc));
        if (bytes / 2 < smallestBytes) throw std::bad_alloc();
        bytes /= 2;
    }
    pthread_join(thread, nullptr);
    if (job.error) std::rethrow_exception(job.error);
}

}  // namespace axf
