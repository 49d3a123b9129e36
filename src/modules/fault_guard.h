// Runs code that belongs to a plug-in module so that the module's failure stays its own: a C++
// exception or a hardware fault (SIGSEGV, SIGBUS, SIGFPE, SIGILL, stack overflow included) on
// the calling thread ends the call and is reported instead of ending the process.
#pragma once

#include <type_traits>
#include <utility>

namespace qx::modules {

// How a guarded call ended.
enum class CallOutcome { kReturned, kException, kFault };

// Runs body(context) under the guard. A call that never returns blocks its caller: a module
// that hangs is the module's fault, and nothing here can end it.
//
// After a fault the call's frames are abandoned without unwinding, so whatever the module held
// at that moment (memory, locks) is lost with it. Faults outside a guarded call keep their
// previous handling (the process crashes, or a sanitizer reports).
CallOutcome RunGuarded(void (*body)(void*), void* context);

template <typename Fn>
CallOutcome RunGuarded(Fn&& fn) {
    using Callable = std::remove_reference_t<Fn>;
    return RunGuarded([](void* context) { (*static_cast<Callable*>(context))(); },
                      const_cast<void*>(static_cast<const void*>(&fn)));
}

// Installs the process-wide fault handlers; RunGuarded does it on first use.
void InstallFaultHandlers();

}  // namespace qx::modules
