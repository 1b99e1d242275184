#include "erd/SetPackages.h"

CGpio::CGpio() : CSimplePackage(kErdGpio) {}
CXfer::CXfer() : CSimplePackage(kErdXfer) {}
CCustTransferAPInfo::CCustTransferAPInfo() : CSimplePackage(kErdCustTransferApInfo) {}

CGpioSet::CGpioSet() : CPackageSet(kErdGpioSet) {}
CTBRXferSet::CTBRXferSet() : CPackageSet(kErdTbrXferSet) {}
CCustTransferAPInfoSet::CCustTransferAPInfoSet() : CPackageSet(kErdCustTransferApInfoSet) {}
