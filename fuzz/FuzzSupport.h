// Shared harness of the fuzz targets.
//
// Every input runs the way main runs a filter: on a worker thread with the
// program's 1 GiB stack (one worker kept for the whole fuzzing process, since
// starting a thread with such a stack per input is slow under the
// sanitizers), so recursion over the depth of a tree behaves as in the
// program. axf::Fatal and axf::InternalError are the program's answers to bad
// input and end the input quietly; anything else (a sanitizer report, a crash,
// a stack overflow, a leak, a hang past -timeout, an uncaught exception) is a
// finding.
//
// Tree nodes live in an arena that the program never frees. The harness
// marks the arena before each input and releases everything made after the
// mark once the input is done, so memory stays bounded over millions of
// inputs. A value cached by the program across runs (a function-local static
// made in the arena) must be made before the first mark: warmUp runs given
// inputs without releasing.
#pragma once

#include <pthread.h>

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>

#include "common/Fatal.h"
#include "common/LargeStack.h"
#include "xml/Arena.h"

namespace axf::fuzz {

class LargeStackWorker {
public:
    LargeStackWorker() {
        pthread_attr_t attr;
        pthread_attr_init(&attr);
        pthread_attr_setstacksize(&attr, kLargeStackBytes);
        if (pthread_create(&thread_, &attr, &LargeStackWorker::loop, this) != 0) {
            std::fputs("fuzz harness: cannot start the worker thread\n", stderr);
            std::abort();
        }
        pthread_attr_destroy(&attr);
    }

    // Runs fn on the worker and waits for it; its exception reaches the caller.
    void run(const std::function<void()>& fn) {
        std::unique_lock<std::mutex> lock(mutex_);
        job_ = &fn;
        error_ = nullptr;
        done_ = false;
        ready_.notify_one();
        finished_.wait(lock, [this] { return done_; });
        job_ = nullptr;
        if (error_) std::rethrow_exception(error_);
    }

private:
    static void* loop(void* self) {
        static_cast<LargeStackWorker*>(self)->serve();
        return nullptr;
    }
    void serve() {
        std::unique_lock<std::mutex> lock(mutex_);
        for (;;) {
            ready_.wait(lock, [this] { return job_ != nullptr && !done_; });
            try {
                (*job_)();
            } catch (...) {
                error_ = std::current_exception();
            }
            done_ = true;
            finished_.notify_one();
        }
    }

    pthread_t thread_;
    std::mutex mutex_;
    std::condition_variable ready_, finished_;
    const std::function<void()>* job_ = nullptr;
    std::exception_ptr error_;
    bool done_ = false;
};

inline LargeStackWorker& worker() {
    static LargeStackWorker* w = new LargeStackWorker;  // lives for the process
    return *w;
}

// Runs one input's work: Fatal and InternalError end it quietly.
inline void runGuarded(const std::function<void()>& fn) {
    try {
        worker().run(fn);
    } catch (const Fatal&) {
    } catch (const InternalError&) {
    }
}

// Runs one input and frees every tree node it made.
inline void runInput(const std::function<void()>& fn) {
    xml::Arena::Mark m = xml::Arena::mark();
    runGuarded(fn);
    xml::Arena::release(m);
}

// Runs inputs whose cached values must outlive every later release.
inline void warmUp(const std::function<void()>& fn) { runGuarded(fn); }

inline std::string_view asText(const std::uint8_t* data, std::size_t size) { return {reinterpret_cast<const char*>(data), size}; }

}  // namespace axf::fuzz
