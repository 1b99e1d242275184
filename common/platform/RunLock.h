// One build at a time per program folder: an exclusive flock on the folder
// itself, held from Acquire to Release. No file is made for it, so no name
// of the user's can clash with it, and a folder that may only be read is
// locked as well as any other. The kernel drops the lock when the process
// dies, however it dies, so a run that was killed never blocks the next one.
#pragma once

#include <functional>
#include <string>

namespace platform {

class RunLock {
public:
    RunLock() = default;
    RunLock(const RunLock&) = delete;
    RunLock& operator=(const RunLock&) = delete;
    ~RunLock();

    // Takes the lock of the folder. When another process holds it, calls
    // onWait once and waits until it is free. False, with errno, when the
    // folder cannot be opened or locked; nothing is held then.
    bool Acquire(const std::wstring& folder, const std::function<void()>& onWait);
    bool Held() const { return m_Descriptor >= 0; }
    // Lets the next run in; nothing when none is held.
    void Release();

private:
    int m_Descriptor = -1;
};

}  // namespace platform
