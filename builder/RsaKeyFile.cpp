#include "builder/RsaKeyFile.h"

#include <cstring>

// Key loading and signing are not in place yet. Until they are, every key
// stays empty and every signing request is refused, so no package is ever
// reported as signed without a signature.

CRsaKeyFile::CRsaKeyFile(const std::wstring& path) : m_Path(path) {}

bool CRsaKeyFile::CheckFormat()
{
    return false;
}

bool CRsaKeyFile::Load()
{
    return false;
}

void CRsaKeyFile::GetPublicExponent(uint8_t* destination) const
{
    std::memcpy(destination, m_E, static_cast<size_t>(m_KeyLength));
}

void CRsaKeyFile::GetModulus(uint8_t* destination) const
{
    std::memcpy(destination, m_N, static_cast<size_t>(m_KeyLength));
}

void CRsaKeyFile::GetPrivateExponent(uint8_t* destination) const
{
    std::memcpy(destination, m_D, static_cast<size_t>(m_KeyLength));
}

int CRsaKeyFile::GetKeyBytes() const
{
    return m_KeyLength;
}

bool SignPackage(const uint8_t*, uint32_t, uint8_t*, uint32_t*, const std::wstring&, const uint8_t*,
                 const uint8_t*, const uint8_t*, int)
{
    return false;
}
