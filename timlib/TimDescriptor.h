// The in-memory TIM descriptor that one layout file describes: the TIM
// header values (held as the layout file's texts), fourteen header words
// derived from them, the image list, the reserved-data packages, the
// digital signature with its record, and the keys.
// Nothing of it is written to a file: the package builder takes its images
// from it, and the packages only count towards a header word. Copies are
// deep.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <list>
#include <memory>
#include "common/TimLib.h"
#include "erd/ExtendedReservedData.h"
#include "erd/ReservedPackageData.h"
#include "timlib/DigitalSignature.h"
#include "timlib/ImageDescription.h"
#include "timlib/Key.h"
#include "timlib/KeyRecords.h"

using ReservedPackageList = std::list<std::unique_ptr<CReservedPackageData>>;
using KeyList = std::list<std::unique_ptr<CKey>>;

class CTimDescriptor : public CTimLib {
public:
    static constexpr size_t kHeaderWordCount = 14;
    // Header word indexes.
    enum HeaderWord : size_t {
        kWordVersion = 0,
        kWordIdentifier = 1,
        kWordTrusted = 2,
        kWordIssueDate = 3,
        kWordOemId = 4,
        kWordSaveStateFlashSignature = 5,
        kWordSaveStateFlashEntryAddress = 6,
        kWordSaveStateBackUpEntryAddress = 7,
        kWordReserved1 = 8,
        kWordReserved2 = 9,
        kWordBootFlashSignature = 10,
        kWordNumberOfImages = 11,
        kWordNumberOfKeys = 12,
        kWordReservedDataSize = 13,
    };

    CTimDescriptor();
    // The one copy operation: deep; assigning to itself does nothing.
    CTimDescriptor& operator=(const CTimDescriptor& other);
    CTimDescriptor(const CTimDescriptor&) = delete;
    ~CTimDescriptor() override;

    // The header texts to their defaults, then ClearAll; both change
    // markers set. Header words stay.
    void Reset();
    // Deletes what the descriptor owns; texts, header words and change
    // markers stay.
    void ClearAll();
    void ClearImages();
    // Replaces the image list with copies of the given images; the given
    // list is not changed.
    void ReplaceImages(const ImageList& images);
    // Bytes of the reserved-data packages with their identifier and size
    // words, plus 16 when there are any.
    uint32_t GetReservedDataSize() const;

    void SetVktSaveStateFlashSignature(std::wstring text);
    void SetVktSaveStateFlashEntryAddress(std::wstring text);
    void SetVktSaveStateBackUpEntryAddress(std::wstring text);

    std::wstring m_Version;
    bool m_bTrusted = false;
    std::wstring m_IssueDate;
    std::wstring m_OemUniqueId;
    std::wstring m_BootFlashSignature;
    std::wstring m_ProcessorType;
    std::wstring m_VktSaveStateFlashSignature;
    std::wstring m_VktSaveStateFlashEntryAddress;
    std::wstring m_VktSaveStateBackUpEntryAddress;
    uint32_t m_HeaderWords[kHeaderWordCount] = {};
    ImageList m_Images;
    ReservedPackageList m_ReservedPackages;
    // Built with the processor type as it stands at construction: empty.
    CExtendedReservedData m_ExtendedReservedData{L""};
    CDigitalSignature m_Signature;
    KeyList m_Keys;
    TimSignatureRecord m_SignatureRecord;
    // The DTIM key; a default RSA key until the first Reset.
    std::unique_ptr<CKey> m_pKey;
    bool m_bChanged = false;
    bool m_bDirty = true;
};
