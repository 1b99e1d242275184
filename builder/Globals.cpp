// The program's global objects, in one place so that their order is fixed:
// the run lock first, since the store and the processing context create
// work files in the program's folder; then the store, which the context's
// constructor opens.
#include "builder/ProcessingContext.h"
#include "builder/VirtualFileStore.h"
#include "common/FileUtils.h"
#include "common/platform/Console.h"
#include "common/platform/Path.h"
#include "common/platform/RunLock.h"
#include "common/platform/Stop.h"

namespace {

// Two runs of one program copy share its work files: the second waits. The
// stop signals are taken over only once the lock is held, so a run that is
// still waiting, and has made nothing, ends on them at once.
class CRunGuard {
public:
    CRunGuard()
    {
        // Without a lock file (a folder that cannot be written) the run
        // goes on as before; creating the work folders reports the folder.
        m_Lock.Acquire(platform::JoinFolderAndName(GetProgramFolder(), L"Tarvok_WEB.lock"), [] {
            platform::Print(L"Another run of this program is working in its folder; waiting for it to finish...\n");
        });
        platform::WatchStopSignals();
    }

private:
    platform::RunLock m_Lock;
};

CRunGuard g_RunGuard;

}  // namespace

CVirtualFileStore g_VirtualFileStore;
CProcessingContext g_ProcessingContext;
