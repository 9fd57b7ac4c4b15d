// Replaces malloc and friends and pthread_mutex_lock for the whole program,
// forwarding to the C library, and counts the calls made while the calling
// thread is inside a real-time callback.
#include "realtime_counter.h"

#include <dlfcn.h>
#include <pthread.h>

#include <atomic>
#include <cstddef>

#include "platform/realtime_scope.h"

extern "C" {
void* __libc_malloc(size_t);
void* __libc_calloc(size_t, size_t);
void* __libc_realloc(void*, size_t);
void* __libc_memalign(size_t, size_t);
void __libc_free(void*);
}

namespace {

std::atomic<uint64_t> gAllocations{0};
std::atomic<uint64_t> gFrees{0};
std::atomic<uint64_t> gLocks{0};

inline void countAllocation() {
    if (tessivox::inRealtimeCallback()) gAllocations.fetch_add(1, std::memory_order_relaxed);
}

using MutexLock = int (*)(pthread_mutex_t*);
std::atomic<MutexLock> gRealMutexLock{nullptr};

}  // namespace

namespace tessivox::testing {
RealtimeViolations realtimeViolations() {
    return {gAllocations.load(std::memory_order_relaxed), gFrees.load(std::memory_order_relaxed),
            gLocks.load(std::memory_order_relaxed)};
}
}  // namespace tessivox::testing

extern "C" {

void* malloc(size_t size) {
    countAllocation();
    return __libc_malloc(size);
}

void* calloc(size_t n, size_t size) {
    countAllocation();
    return __libc_calloc(n, size);
}

void* realloc(void* p, size_t size) {
    countAllocation();
    return __libc_realloc(p, size);
}

void* memalign(size_t alignment, size_t size) {
    countAllocation();
    return __libc_memalign(alignment, size);
}

void* aligned_alloc(size_t alignment, size_t size) {
    countAllocation();
    return __libc_memalign(alignment, size);
}

int posix_memalign(void** out, size_t alignment, size_t size) {
    countAllocation();
    void* p = __libc_memalign(alignment, size);
    if (p == nullptr) return 12;  // ENOMEM
    *out = p;
    return 0;
}

void free(void* p) {
    if (p != nullptr && tessivox::inRealtimeCallback()) {
        gFrees.fetch_add(1, std::memory_order_relaxed);
    }
    __libc_free(p);
}

int pthread_mutex_lock(pthread_mutex_t* mutex) {
    if (tessivox::inRealtimeCallback()) gLocks.fetch_add(1, std::memory_order_relaxed);
    MutexLock real = gRealMutexLock.load(std::memory_order_acquire);
    if (real == nullptr) {
        real = reinterpret_cast<MutexLock>(dlsym(RTLD_NEXT, "pthread_mutex_lock"));
        gRealMutexLock.store(real, std::memory_order_release);
    }
    return real(mutex);
}

}  // extern "C"
