// One run at a time per lock file: an exclusive flock held from Acquire to
// the lock's end. The kernel drops it when the process dies, however it
// dies, so a run that was killed never blocks the next one.
#pragma once

#include <functional>
#include <string>

namespace platform {

class RunLock {
public:
    RunLock() = default;
    RunLock(const RunLock&) = delete;
    RunLock& operator=(const RunLock&) = delete;
    // Removes the lock file and releases the lock.
    ~RunLock();

    // Creates the lock file at path (a link standing there is removed, never
    // followed) and takes its lock. When another process holds it, calls
    // onWait once and waits until it is free. False when the file cannot be
    // created or locked; nothing is held then.
    bool Acquire(const std::wstring& path, const std::function<void()>& onWait);
    bool Held() const { return m_Descriptor >= 0; }

private:
    void Release();

    int m_Descriptor = -1;
    std::string m_Path;
};

}  // namespace platform
