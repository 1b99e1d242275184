// The consumer-id package: one consumer's four-letter identifier ("CID")
// and the identifiers of the packages given for it ("PID" lines). It reads
// its own block of the layout file.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>

#include "erd/ErdBase.h"

class CConsumerID final : public CErdClass<CConsumerID, kErdConsumerId> {
public:
    enum Field { kCid, kPid, kFieldCount };

    CConsumerID();

    // Drops the package identifiers; the fields stay.
    void Reset() override;
    // Reads "CID" and "PID" lines up to "End_Consumer_ID" or the end of the
    // text. Any other line, a comment line or a last line of blanks without
    // a line feed included, fails the read.
    bool Parse(std::wistream& stream, std::wstring line) override;
    bool Write(std::wostream& stream, bool flag) override;
    // One word for the consumer, one for the count, one per identifier.
    uint32_t Size() const override;
    // Appends the words without setting the package's identifier, and
    // returns the size of the whole package afterwards: all the consumer
    // ids of a descriptor share one package.
    uint32_t AddToPackage(CReservedPackageData& package) const override;

    TextList m_PIDs;
};
