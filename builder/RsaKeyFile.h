// RSA private-key file and the package signer.
#pragma once

#include <cstdint>
#include <string>

class CRsaKeyFile {
public:
    explicit CRsaKeyFile(const std::wstring& path);

    bool CheckFormat();
    bool Load();

    // Copy the first GetKeyBytes() bytes of each number, least significant
    // byte first.
    void GetPublicExponent(uint8_t* destination) const;
    void GetModulus(uint8_t* destination) const;
    void GetPrivateExponent(uint8_t* destination) const;
    int GetKeyBytes() const;

    static constexpr int kMaxWords = 64;

private:
    std::wstring m_Path;
    int32_t m_KeyLength = 0;
    uint32_t m_E[kMaxWords] = {};
    uint32_t m_D[kMaxWords] = {};
    uint32_t m_N[kMaxWords] = {};
};

// Signs data with RSASSA-PKCS1-v1_5; the signature is written least
// significant byte first and its length is the key's byte length.
bool SignPackage(const uint8_t* data, uint32_t dataLength, uint8_t* signature, uint32_t* signatureLength,
                 const std::wstring& hashName, const uint8_t* privateExponent, const uint8_t* publicExponent,
                 const uint8_t* modulus, int keyBytes);
