#include "sysutil/signalstack.h"

#include <csignal>
#include <sys/mman.h>
#include <unistd.h>

namespace sysutil {

namespace {

// One per thread; its destructor runs when the thread ends.
class ThreadSignalStack {
public:
    ThreadSignalStack()
    {
        stack_t current{};
        if (sigaltstack(nullptr, &current) == 0 && !(current.ss_flags & SS_DISABLE)) {
            m_ready = true;  // the main thread's, or a sanitizer's: keep it
            return;
        }
        const long page = sysconf(_SC_PAGESIZE);
        m_guardBytes = page > 0 ? std::size_t(page) : 4096;
        m_mappedBytes = m_guardBytes + kAlternateSignalStackBytes;
        void* memory = mmap(nullptr, m_mappedBytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_STACK,
                            -1, 0);
        if (memory == MAP_FAILED)
            return;
        m_memory = memory;
        // Stacks grow down: an overflow of the handler itself hits the guard.
        mprotect(m_memory, m_guardBytes, PROT_NONE);
        stack_t stack{};
        stack.ss_sp = static_cast<char*>(m_memory) + m_guardBytes;
        stack.ss_size = kAlternateSignalStackBytes;
        m_installed = sigaltstack(&stack, nullptr) == 0;
        m_ready = m_installed;
    }

    ~ThreadSignalStack()
    {
        if (m_installed) {
            stack_t off{};
            off.ss_flags = SS_DISABLE;
            sigaltstack(&off, nullptr);
        }
        if (m_memory)
            munmap(m_memory, m_mappedBytes);
    }

    ThreadSignalStack(const ThreadSignalStack&) = delete;
    ThreadSignalStack& operator=(const ThreadSignalStack&) = delete;

    bool ready() const { return m_ready; }

private:
    void* m_memory = nullptr;
    std::size_t m_guardBytes = 0;
    std::size_t m_mappedBytes = 0;
    bool m_installed = false;
    bool m_ready = false;
};

}  // namespace

bool ensureAlternateSignalStack()
{
    thread_local ThreadSignalStack stack;
    return stack.ready();
}

}  // namespace sysutil
