// The one place that copies a package held through a CErdBase pointer: a
// switch over the type ids, each made by its own class's copy constructor.
#include "erd/ErdBase.h"

namespace {

// The copy, or null when the object is not of the class its type id names.
template <class Package>
CErdBase* CopyAs(const CErdBase& package)
{
    const auto* typed = dynamic_cast<const Package*>(&package);
    return typed ? new Package(*typed) : nullptr;
}

}  // namespace

CErdBase* CErdBase::Clone(const CErdBase& package)
{
    switch (package.m_TypeId) {
    // Initialisation packages, instructions and operation lists: not built yet.
    case kErdGppInitialization:
    case kErdDdrInitialization:
    case kErdVendorDdrInitialization:
    case kErdInstructions:
    case kErdDdrOperations:
    case kErdGppOperations:
    case kErdTzInitialization:
    case kErdTzOperations:
        return nullptr;

    // The data packages: not built yet.
    case kErdAutoBind:
    case kErdEscapeSeq:
    case kErdGpioSet:
    case kErdGpio:
    case kErdResume:
    case kErdResumeDdr:
    case kErdTbrXferSet:
    case kErdXfer:
    case kErdUart:
    case kErdUsb:
    case kErdUsbVendorReq:
    case kErdConsumerId:
    case kErdCoreReset:
    case kErdBbmt:
    case kErdImageMaps:
    case kErdImageMapInfo:
    case kErdEscapeSeqV2:
    case kErdCustTransferApInfoSet:
    case kErdCustTransferApInfo:
        return nullptr;

    default:
        return nullptr;
    }
}
