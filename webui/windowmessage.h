#pragma once
// Window messages between threads and windows. A window registers its handle
// (its winId() as an integer); anyone, from any thread, posts or sends a
// numbered message to a handle, and the window's windowProc receives it on the
// UI thread. A message for a handle that is no longer registered is dropped,
// and its payload freed with it.

#include <QEvent>
#include <QObject>
#include <cstdint>
#include <memory>
#include <vector>

namespace webui {

using WindowHandle = std::uintptr_t;

// Message numbers that keep their Windows meaning.
namespace msg {
constexpr unsigned kUser = 0x0400;                 // WM_USER
constexpr unsigned kChildDestroyed = kUser + 100;  // 1124: wParam is the child's handle
constexpr unsigned kDragRect = kUser + 101;        // 1125: payload is a DragRect
constexpr unsigned kTrayCallback = kUser + 103;    // 1127
constexpr unsigned kResetAllFinished = 2126;       // combined repair ended
constexpr unsigned kPackageInstalled = 2127;       // driver package tree ended
constexpr unsigned kPrinterChanged = 2128;         // payload is a PrinterAPI::PrinterChange
constexpr unsigned kTimer = 0x0113;                // WM_TIMER: wParam is the timer id
constexpr unsigned kDeviceChange = 0x0219;         // WM_DEVICECHANGE
constexpr unsigned kClose = 0x0010;                // WM_CLOSE
constexpr unsigned kSysCommand = 0x0112;           // WM_SYSCOMMAND
constexpr unsigned kCommand = 0x0111;              // WM_COMMAND
constexpr std::uintptr_t kScClose = 0xF060;        // SC_CLOSE
constexpr std::uintptr_t kInstallMonitorTimer = 2129;
constexpr std::uintptr_t kDeviceArrival = 0x8000;         // DBT_DEVICEARRIVAL
constexpr std::uintptr_t kDeviceRemoveComplete = 0x8004;  // DBT_DEVICEREMOVECOMPLETE
}  // namespace msg

struct WindowMessage {
    unsigned message = 0;
    std::uintptr_t wParam = 0;
    std::intptr_t lParam = 0;
    // What a Windows message would have carried as a pointer in lParam. The
    // receiver takes it with std::static_pointer_cast to the type the message
    // number promises.
    std::shared_ptr<void> payload;
};

// Receives window messages on the thread that owns it (the UI thread).
class WindowMessageTarget {
public:
    virtual ~WindowMessageTarget() = default;
    virtual std::intptr_t windowProc(const WindowMessage& message) = 0;
};

class WindowMessageEvent : public QEvent {
public:
    static QEvent::Type eventType();
    explicit WindowMessageEvent(WindowMessage message);
    const WindowMessage& message() const { return m_message; }

private:
    WindowMessage m_message;
};

// The process-wide registry of windows that can receive messages. Thread-safe.
class WindowRegistry {
public:
    static WindowRegistry& instance();

    // Registers a window; call on the UI thread. Messages for the handle reach
    // target->windowProc until remove() is called.
    void add(WindowHandle handle, WindowMessageTarget* target);
    void remove(WindowHandle handle);
    bool contains(WindowHandle handle) const;
    WindowMessageTarget* target(WindowHandle handle) const;  // UI thread only
    std::vector<WindowHandle> handles() const;                // creation order

    // Internal: the object that receives the window's events.
    QObject* mailbox(WindowHandle handle) const;

private:
    WindowRegistry() = default;
};

// Queues the message for the window; false when no such window is registered.
bool postWindowMessage(WindowHandle window, WindowMessage message);
inline bool postWindowMessage(WindowHandle window, unsigned message, std::uintptr_t wParam = 0,
                              std::intptr_t lParam = 0, std::shared_ptr<void> payload = {})
{
    return postWindowMessage(window, WindowMessage{message, wParam, lParam, std::move(payload)});
}
// Runs the window procedure now and returns its result. From the UI thread it
// is a direct call; from another thread it blocks until the UI thread has run
// it. Returns 0 for an unknown window.
std::intptr_t sendWindowMessage(WindowHandle window, WindowMessage message);

}  // namespace webui
