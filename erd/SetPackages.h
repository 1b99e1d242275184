// The set packages: a few fields of their own followed by a list of
// two-field children, which they own and copy deeply.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "erd/ReservedPackageData.h"
#include "erd/SimplePackages.h"

// A set of children of one class. Its words are its own fields, then each
// child's words; its size counts two words per child.
template <class Child>
class CPackageSet : public CSimplePackage {
public:
    // Drops the children; the fields stay.
    void Reset() override { m_Children.clear(); }

    uint32_t Size() const override
    {
        return CSimplePackage::Size() + 8 * static_cast<uint32_t>(m_Children.size());
    }

    // The count field is packed as written, whatever the number of
    // children.
    uint32_t AddToPackage(CReservedPackageData& package) const override
    {
        AddFieldWords(package);
        for (const auto& child : m_Children) {
            child->AddToPackage(package);
        }
        return Size();
    }

    std::vector<std::unique_ptr<Child>> m_Children;

protected:
    explicit CPackageSet(uint32_t typeId) : CSimplePackage(typeId) {}

    CPackageSet(const CPackageSet& other) : CSimplePackage(other) { AppendCopies(other); }

    CPackageSet& operator=(const CPackageSet& other)
    {
        if (this != &other) {
            CSimplePackage::operator=(other);
            m_Children.clear();
            AppendCopies(other);
        }
        return *this;
    }

private:
    void AppendCopies(const CPackageSet& other)
    {
        m_Children.reserve(m_Children.size() + other.m_Children.size());
        for (const auto& child : other.m_Children) {
            m_Children.push_back(std::make_unique<Child>(*child));
        }
    }
};

class CGpio final : public CErdClass<CGpio, kErdGpio, CSimplePackage> {};
class CXfer final : public CErdClass<CXfer, kErdXfer, CSimplePackage> {};
class CCustTransferAPInfo final : public CErdClass<CCustTransferAPInfo, kErdCustTransferApInfo, CSimplePackage> {};

class CGpioSet final : public CErdClass<CGpioSet, kErdGpioSet, CPackageSet<CGpio>> {};
class CTBRXferSet final : public CErdClass<CTBRXferSet, kErdTbrXferSet, CPackageSet<CXfer>> {};
class CCustTransferAPInfoSet final
    : public CErdClass<CCustTransferAPInfoSet, kErdCustTransferApInfoSet, CPackageSet<CCustTransferAPInfo>> {};
