#include "modules/fault_guard.h"

#include <setjmp.h>
#include <signal.h>

#include <array>
#include <cstddef>
#include <memory>
#include <mutex>

namespace qx::modules {

namespace {

constexpr std::array<int, 4> kFaultSignals = {SIGSEGV, SIGBUS, SIGFPE, SIGILL};

struct GuardFrame {
    sigjmp_buf jump;
    GuardFrame* outer = nullptr;
};

// The innermost guarded call of this thread; only this thread and its signal handler use it.
thread_local GuardFrame* t_frame = nullptr;

struct sigaction g_previous[kFaultSignals.size()];
std::once_flag g_installed;

// A stack of the thread's own for the handler, so that a module that overflows the thread's
// stack can still be caught. Threads that already have one (a sanitizer's) keep theirs.
class AltStack {
  public:
    void Ensure() {
        if (m_memory) {
            return;
        }
        stack_t current{};
        if (::sigaltstack(nullptr, &current) == 0 && (current.ss_flags & SS_DISABLE) == 0) {
            return;
        }
        m_memory = std::make_unique<char[]>(kSize);
        stack_t mine{};
        mine.ss_sp = m_memory.get();
        mine.ss_size = kSize;
        if (::sigaltstack(&mine, nullptr) != 0) {
            m_memory.reset();
        }
    }

    ~AltStack() {
        if (!m_memory) {
            return;
        }
        stack_t current{};
        if (::sigaltstack(nullptr, &current) == 0 && current.ss_sp == m_memory.get()) {
            stack_t off{};
            off.ss_flags = SS_DISABLE;
            ::sigaltstack(&off, nullptr);
        }
    }

  private:
    static constexpr std::size_t kSize = 64 * 1024;
    std::unique_ptr<char[]> m_memory;
};

thread_local AltStack t_alt_stack;

int SignalIndex(int signal_number) {
    for (std::size_t i = 0; i < kFaultSignals.size(); ++i) {
        if (kFaultSignals[i] == signal_number) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

void OnFault(int signal_number, siginfo_t* info, void* /*context*/) {
    if (GuardFrame* frame = t_frame; frame != nullptr) {
        siglongjmp(frame->jump, 1);
    }
    // Not a module's fault: put back whatever handled it before and let it happen again, so a
    // real crash still crashes (and a sanitizer still reports it).
    const int index = SignalIndex(signal_number);
    if (index >= 0) {
        ::sigaction(signal_number, &g_previous[index], nullptr);
    }
    if (info == nullptr || info->si_code <= 0) {
        // Sent by kill or raise: returning would not repeat it.
        ::raise(signal_number);
    }
}

}  // namespace

void InstallFaultHandlers() {
    std::call_once(g_installed, [] {
        struct sigaction action {};
        action.sa_sigaction = OnFault;
        action.sa_flags = SA_SIGINFO | SA_ONSTACK;
        sigemptyset(&action.sa_mask);
        for (std::size_t i = 0; i < kFaultSignals.size(); ++i) {
            ::sigaction(kFaultSignals[i], &action, &g_previous[i]);
        }
    });
}

CallOutcome RunGuarded(void (*body)(void*), void* context) {
    InstallFaultHandlers();
    t_alt_stack.Ensure();
    GuardFrame frame;
    frame.outer = t_frame;
    // The signal mask is saved so that the faulting signal is unblocked again after the jump.
    if (sigsetjmp(frame.jump, 1) != 0) {
        t_frame = frame.outer;
        return CallOutcome::kFault;
    }
    t_frame = &frame;
    try {
        body(context);
    } catch (...) {
        t_frame = frame.outer;
        return CallOutcome::kException;
    }
    t_frame = frame.outer;
    return CallOutcome::kReturned;
}

}  // namespace qx::modules
