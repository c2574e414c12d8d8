#include "common/LargeStack.h"

#include <pthread.h>

#include <cstring>
#include <exception>
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

}  // namespace

void runWithLargeStack(const std::function<void()>& fn, std::size_t stackBytes) {
    pthread_attr_t attr;
    if (pthread_attr_init(&attr) != 0) throw InternalError("runWithLargeStack: pthread_attr_init failed");
    int rc = pthread_attr_setstacksize(&attr, stackBytes);
    if (rc != 0) {
        pthread_attr_destroy(&attr);
        throw InternalError(std::string("runWithLargeStack: cannot set stack size: ") + std::strerror(rc));
    }
    Job job{&fn, nullptr};
    pthread_t thread;
    rc = pthread_create(&thread, &attr, runJob, &job);
    pthread_attr_destroy(&attr);
    if (rc != 0) throw InternalError(std::string("runWithLargeStack: cannot start worker: ") + std::strerror(rc));
    pthread_join(thread, nullptr);
    if (job.error) std::rethrow_exception(job.error);
}

}  // namespace axf
