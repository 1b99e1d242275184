// The digital-signature part of a TIM descriptor: the key that signs the
// TIM and the word lists of the signature value, sized to the key (one list
// for an RSA scheme, the r and s lists for an ECDSA scheme). The value is
// never computed here: the lists hold "0x00000000" placeholders.
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
