// The program's virtual file store opened on a private folder, for tests
// that write into it without a processing context.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "builder/VirtualFileStore.h"
#include "common/platform/Text.h"
#include "support/TestSupport.h"

namespace testsupport {

class PrivateStore {
public:
    PrivateStore() { Fresh(); }
    ~PrivateStore() { g_VirtualFileStore.Close(); }
    PrivateStore(const PrivateStore&) = delete;
    PrivateStore& operator=(const PrivateStore&) = delete;

    // An empty store file and no stream, as the processing context leaves it.
    void Fresh()
    {
        g_VirtualFileStore.Reset();
        EXPECT_TRUE(g_VirtualFileStore.Open(platform::DecodeText(m_Folder.Path()).c_str(), L"wb"));
        g_VirtualFileStore.CloseStream();
    }

    // The file's content, copied out to the real file its name gives.
    std::string CopiedOut(const std::wstring& name)
    {
        EXPECT_TRUE(g_VirtualFileStore.CopyOut(name));
        return ReadFile(platform::EncodeText(name));
    }

    const std::string& Path() const { return m_Folder.Path(); }

private:
    TempFolder m_Folder;
};

}  // namespace testsupport
