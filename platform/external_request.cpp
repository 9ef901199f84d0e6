#include "platform/external_request.h"

#include <signal.h>

#include <atomic>

namespace {

std::atomic<int> g_requested{0};
static_assert(std::atomic<int>::is_always_lock_free, "the signal handler needs a lock-free flag");

void OnExternalRequestSignal(int) { g_requested.store(1, std::memory_order_relaxed); }

int32_t SetSignalAction(void (*handler)(int)) {
    struct sigaction action = {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    return sigaction(SIGUSR1, &action, nullptr) == 0 ? 0 : -1;
}

}  // namespace

int32_t InstallExternalRequestHandler() {
    if (SetSignalAction(OnExternalRequestSignal) != 0) return -1;
    // A launcher may hand the signal over blocked; the request would then never arrive.
    sigset_t request;
    sigemptyset(&request);
    sigaddset(&request, SIGUSR1);
    return pthread_sigmask(SIG_UNBLOCK, &request, nullptr) == 0 ? 0 : -1;
}

void DropExternalRequests() { g_requested.store(0); }

void RemoveExternalRequestHandler() {
    SetSignalAction(SIG_DFL);
    g_requested.store(0);
}

bool TakeExternalRequest() { return g_requested.exchange(0) != 0; }
