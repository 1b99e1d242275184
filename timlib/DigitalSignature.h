// What a TIM descriptor holds about its signature: the signing key and the
// signature value as lists of word texts whose length follows the key size.
// An RSA key needs one list, an ECDSA key two (r and s). Nothing here signs:
// the lists are filled with "0x00000000" until a real value replaces them.
#pragma once

#include <cstdint>
#include <memory>

#include "common/TimLib.h"
#include "timlib/Key.h"

class CDigitalSignature : public CTimLib {
public:
    // With a default RSA key.
    CDigitalSignature();
    CDigitalSignature(const CDigitalSignature&) = delete;
    // Deep; the change marker is not copied. Assigning to itself does
    // nothing.
    CDigitalSignature& operator=(const CDigitalSignature& other);
    ~CDigitalSignature() override;

    // Sets the key's size and brings the signature lists of the key's
    // scheme to the key's word count. Nothing happens without a key.
    void SetKeySize(uint32_t bits);
    // 0 without a key.
    uint32_t GetKeySize() const;
    // Empties the lists and deletes the key.
    void ClearAll();

    bool m_bChanged = false;
    TextList m_RsaSignatureWords;
    TextList m_EcdsaRWords;
    TextList m_EcdsaSWords;
    std::unique_ptr<CKey> m_pKey;
};
