// Threads the engine starts for one decode (piece decoders, the rate converter).
#pragma once

#include <pthread.h>
#include <signal.h>

#include <thread>
#include <utility>

// Starts a thread that takes no asynchronous signals. A signal sent to the process then always
// reaches a thread that was there before the decode began, so the front end's handlers see
// pending signals one after another in the kernel's order (a second Ctrl-C or a SIGTERM that
// follows a SIGINT is told apart from the first). Throws what std::thread throws.
template <class Function, class... Args>
std::thread start_engine_thread(Function&& function, Args&&... args) {
    sigset_t all;
    sigset_t previous;
    sigfillset(&all);
    pthread_sigmask(SIG_BLOCK, &all, &previous);
    try {
        std::thread thread(std::forward<Function>(function), std::forward<Args>(args)...);
        pthread_sigmask(SIG_SETMASK, &previous, nullptr);
        return thread;
    } catch (...) {
        pthread_sigmask(SIG_SETMASK, &previous, nullptr);
        throw;
    }
}
