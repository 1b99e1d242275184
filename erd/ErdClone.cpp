// The one place that copies a package held through a CErdBase pointer: a
// switch over the type ids, each made by its own class's copy constructor.
#include "erd/ErdBase.h"

#include "erd/ConsumerId.h"
#include "erd/ImageMaps.h"
#include "erd/Initialization.h"
#include "erd/Instructions.h"
#include "erd/Operations.h"
#include "erd/SetPackages.h"
#include "erd/SimplePackages.h"

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
    case kErdGppInitialization: return CopyAs<CGPPInitialization>(package);
    case kErdDdrInitialization: return CopyAs<CDDRInitialization>(package);
    case kErdVendorDdrInitialization: return CopyAs<CVendorDDRInitialization>(package);
    case kErdInstructions: return CopyAs<CInstructions>(package);
    case kErdDdrOperations: return CopyAs<CDDROperations>(package);
    case kErdGppOperations: return CopyAs<CGPPOperations>(package);
    case kErdTzInitialization: return CopyAs<CTzInitialization>(package);
    case kErdTzOperations: return CopyAs<CTzOperations>(package);

    case kErdAutoBind: return CopyAs<CAutoBind>(package);
    case kErdEscapeSeq: return CopyAs<CEscapeSeq>(package);
    case kErdGpioSet: return CopyAs<CGpioSet>(package);
    case kErdGpio: return CopyAs<CGpio>(package);
    case kErdResume: return CopyAs<CResume>(package);
    case kErdResumeDdr: return CopyAs<CResumeDdr>(package);
    case kErdTbrXferSet: return CopyAs<CTBRXferSet>(package);
    case kErdXfer: return CopyAs<CXfer>(package);
    case kErdUart: return CopyAs<CUart>(package);
    case kErdUsb: return CopyAs<CUsb>(package);
    case kErdUsbVendorReq: return CopyAs<CUsbVendorReq>(package);
    case kErdCoreReset: return CopyAs<CCoreReset>(package);
    case kErdBbmt: return CopyAs<CBbmt>(package);
    case kErdEscapeSeqV2: return CopyAs<CEscapeSeqV2>(package);
    case kErdCustTransferApInfoSet: return CopyAs<CCustTransferAPInfoSet>(package);
    case kErdCustTransferApInfo: return CopyAs<CCustTransferAPInfo>(package);
    case kErdConsumerId: return CopyAs<CConsumerID>(package);
    case kErdImageMaps: return CopyAs<CImageMaps>(package);
    case kErdImageMapInfo: return CopyAs<CImageMapInfo>(package);

    default:
        return nullptr;
    }
}
