// Allocation failures, one at a time: this program replaces the global
// allocation functions so that a test can make the n-th allocation of a
// call throw std::bad_alloc, and counts the blocks still held. Whatever a
// call then reports or throws, it must give back everything it took.
#include <gtest/gtest.h>

#include <cstdlib>
#include <new>
#include <string>

#include "common/LayoutLines.h"
#include "common/platform/FileSystem.h"
#include "erd/ExtendedReservedData.h"
#include "support/CallCapture.h"
#include "support/TestSupport.h"

namespace {

long g_liveBlocks = 0;
// Allocations that still succeed before one fails; negative: none fails.
long g_allocationsBeforeFailure = -1;
bool g_failed = false;

void* Allocate(std::size_t size)
{
    if (g_allocationsBeforeFailure == 0) {
        g_allocationsBeforeFailure = -1;
        g_failed = true;
        throw std::bad_alloc();
    }
    if (g_allocationsBeforeFailure > 0) {
        --g_allocationsBeforeFailure;
    }
    void* block = std::malloc(size == 0 ? 1 : size);
    if (block == nullptr) {
        throw std::bad_alloc();
    }
    ++g_liveBlocks;
    return block;
}

void Release(void* block) noexcept
{
    if (block != nullptr) {
        --g_liveBlocks;
        std::free(block);
    }
}

}  // namespace

void* operator new(std::size_t size)
{
    return Allocate(size);
}
void* operator new[](std::size_t size)
{
    return Allocate(size);
}
void operator delete(void* block) noexcept
{
    Release(block);
}
void operator delete[](void* block) noexcept
{
    Release(block);
}
void operator delete(void* block, std::size_t) noexcept
{
    Release(block);
}
void operator delete[](void* block, std::size_t) noexcept
{
    Release(block);
}

namespace {

using testsupport::TempFolder;
using testsupport::Wide;
using testsupport::WriteFile;

// Runs call once with the n-th allocation failing, for n = 0, 1, ... until
// a run meets no failure, and checks after each run that the blocks held
// are those held before it. The first run without a failure only warms up
// what lives for the whole program.
template <class Call>
void EveryAllocationFailsInTurn(Call call)
{
    testing::internal::CaptureStdout();
    call();
    testing::internal::GetCapturedStdout();
    for (long n = 0;; ++n) {
        SCOPED_TRACE("allocation " + std::to_string(n));
        testing::internal::CaptureStdout();
        const long before = g_liveBlocks;
        g_failed = false;
        g_allocationsBeforeFailure = n;
        try {
            call();
        } catch (const std::bad_alloc&) {
        }
        g_allocationsBeforeFailure = -1;
        const long after = g_liveBlocks;
        testing::internal::GetCapturedStdout();
        EXPECT_EQ(after, before);
        if (!g_failed || after != before) {
            return;
        }
    }
}

TEST(AllocationFailureTest, ExtendedReservedDataParseKeepsNoPackageItDropped)
{
    TempFolder folder;
    const std::string path = folder.File("erd.blf");
    WriteFile(path,
              "[Extended_Reserved_Data]\nAutoBind\nConsumer_ID\nCID = TBRI\nPID = DDR1\nEnd_Consumer_ID\n"
              "Consumer_ID\nCID = OBMI\nEnd_Consumer_ID\nGPP\nGPP_PID = GPP1\nEnd_GPP\nEnd_Reserved_Data\n");
    const std::wstring widePath = Wide(path);
    EveryAllocationFailsInTurn([&] {
        CExtendedReservedData erd(L"");
        std::wstring text;
        platform::ReadTextFile(widePath, text);
        layout::TextStream stream(text);
        ParseExtendedReservedData(stream, erd);
    });
}

}  // namespace
