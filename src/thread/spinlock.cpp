// Spin locks for very short critical sections.
#include <atomic>

#include "JEX_mutex.h"
#include "JEX_timer.h"

namespace {

std::atomic_ref<JEX_SpinLock> Ref(JEX_SpinLock *lock)
{
    return std::atomic_ref<JEX_SpinLock>(*lock);
}

}  // namespace

extern "C" {

JEX_bool JEX_AtomicTryLock(JEX_SpinLock *lock)
{
    int expected = 0;
    return Ref(lock).compare_exchange_strong(expected, 1, std::memory_order_seq_cst) ? JEX_TRUE
                                                                                     : JEX_FALSE;
}

void JEX_AtomicLock(JEX_SpinLock *lock)
{
    while (!JEX_AtomicTryLock(lock)) {
        // Yield rather than burn the holder's time slice, and only retry the
        // exchange once the lock looks free.
        do {
            JEX_Delay(0);
        } while (Ref(lock).load(std::memory_order_relaxed) != 0);
    }
}

void JEX_AtomicUnlock(JEX_SpinLock *lock)
{
    Ref(lock).store(0, std::memory_order_release);
}

}  // extern "C"
