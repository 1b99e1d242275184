#include "timlib/DigitalSignature.h"

CDigitalSignature::CDigitalSignature() : m_pKey(std::make_unique<CRSAKey>()) {}

CDigitalSignature::~CDigitalSignature()
{
    ClearAll();
}

CDigitalSignature& CDigitalSignature::operator=(const CDigitalSignature& other)
{
    if (this == &other) {
        return *this;
    }
    ClearAll();
    m_RsaSignatureWords = other.m_RsaSignatureWords;
    m_EcdsaRWords = other.m_EcdsaRWords;
    m_EcdsaSWords = other.m_EcdsaSWords;
    if (other.m_pKey) {
        m_pKey = other.m_pKey->Clone();
    }
    return *this;
}

void CDigitalSignature::SetKeySize(uint32_t bits)
{
    if (!m_pKey) {
        return;
    }
    m_pKey->SetKeySize(bits);
    const size_t words = static_cast<size_t>(m_pKey->WordCount());
    if (IsEcdsaScheme(m_pKey->GetEncryptAlgorithmId())) {
        ResizeTextList(m_EcdsaRWords, words, m_bChanged);
        ResizeTextList(m_EcdsaSWords, words, m_bChanged);
    } else {
        ResizeTextList(m_RsaSignatureWords, words, m_bChanged);
    }
}

uint32_t CDigitalSignature::GetKeySize() const
{
    return m_pKey ? m_pKey->m_KeySize : 0;
}

void CDigitalSignature::ClearAll()
{
    m_RsaSignatureWords.clear();
    m_EcdsaRWords.clear();
    m_EcdsaSWords.clear();
    if (m_pKey) {
        m_pKey->ClearKeyWords();
        m_pKey.reset();
    }
}
