// Runs a test body on a thread with a stack of a chosen size, 8 MiB (an
// ordinary thread's) by default, so that a test shows an operation needs no
// more than that. The body's exception reaches the caller.
#pragma once

#include <pthread.h>

#include <cstddef>
#include <cstring>
#include <exception>
#include <functional>
#include <stdexcept>
#include <string>

namespace axf::testsupport {

inline constexpr std::size_t kOrdinaryStack = std::size_t(8) << 20;

inline void runOnStack(const std::function<void()>& fn, std::size_t bytes = kOrdinaryStack) {
    struct Job {
        const std::function<void()>* fn;
        std::exception_ptr error;
    } job{&fn, nullptr};
    pthread_attr_t attr;
    if (pthread_attr_init(&attr) != 0) throw std::runtime_error("runOnStack: pthread_attr_init failed");
    if (int rc = pthread_attr_setstacksize(&attr, bytes); rc != 0) {
        pthread_attr_destroy(&attr);
        throw std::runtime_error(std::string("runOnStack: cannot set the stack size: ") + std::strerror(rc));
    }
    pthread_t thread;
    const int rc = pthread_create(
        &thread, &attr,
        [](void* arg) -> void* {
            Job* j = static_cast<Job*>(arg);
            try {
                (*j->fn)();
            } catch (...) {
                j->error = std::current_exception();
            }
            return nullptr;
        },
        &job);
    pthread_attr_destroy(&attr);
    if (rc != 0) throw std::runtime_error(std::string("runOnStack: cannot start the thread: ") + std::strerror(rc));
    pthread_join(thread, nullptr);
    if (job.error) std::rethrow_exception(job.error);
}

}  // namespace axf::testsupport
