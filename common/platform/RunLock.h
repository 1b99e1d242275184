// One build at a time per program folder, held from Acquire to Release: an
// exclusive flock on the folder itself, which needs no file, so no name of
// the user's can clash with it, and a folder that may only be read is locked
// as well as any other. Where the folder cannot be locked (it may be written
// but not read, or its file system refuses flock on a folder), the lock is
// taken on the lock file "kxp.lock" in it instead, made for it and kept; a
// run that locks the folder takes that file too when it is there, so that a
// user who may read the folder (root) and one who may not take turns as
// well. The kernel drops the locks when the process dies, however it dies,
// so a run that was killed never blocks the next one.
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

    // The lock file of the folder, where its runs take turns when the
    // folder itself cannot be locked; never a run's output.
    static std::wstring LockFilePath(const std::wstring& folder);

    // Takes the lock of the folder, or else of its lock file. When another
    // process holds it, calls onWait once and waits until it is free.
    // False, with errno, when neither can be locked (the folder is not
    // there, the lock file cannot be made, something that is not a regular
    // file stands at its name, which is left alone); nothing is held then.
    bool Acquire(const std::wstring& folder, const std::function<void()>& onWait);
    bool Held() const { return m_Descriptor >= 0; }
    // Lets the next run in; nothing when none is held.
    void Release();

private:
    int m_Descriptor = -1;      // the folder's, or the lock file's
    int m_FileDescriptor = -1;  // the lock file's besides the folder's
};

}  // namespace platform
