// RSA private-key file and the package signer.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

class CRsaKeyFile {
public:
    explicit CRsaKeyFile(const std::wstring& path);
    // The key's numbers are wiped, not just freed.
    ~CRsaKeyFile();
    CRsaKeyFile(const CRsaKeyFile&) = delete;
    CRsaKeyFile& operator=(const CRsaKeyFile&) = delete;

    // Whether the file, a regular file of at most the text limit
    // (platform::kMaxTextFileBytes, refused unread past it), holds both
    // marker texts of a PEM RSA private key, traditional ("BEGIN RSA
    // PRIVATE KEY") or general ("BEGIN PRIVATE KEY"). A public, EC or DSA
    // key is refused by its kind, a general key under a pass phrase as such.
    bool CheckFormat();
    // Reads the key, which must be RSA and unencrypted. A key under a pass
    // phrase is refused without asking for one: the terminal is never read.
    // On any failure a message is printed and the key stays empty
    // (GetKeyBytes() is 0), so that the signer refuses it.
    bool Load();

    // Copy the first GetKeyBytes() bytes of each number, least significant
    // byte first.
    void GetPublicExponent(uint8_t* destination) const;
    void GetModulus(uint8_t* destination) const;
    void GetPrivateExponent(uint8_t* destination) const;
    int GetKeyBytes() const;

    static constexpr int kMaxWords = 64;
    static constexpr int kMaxBytes = kMaxWords * 4;

private:
    void Clear();

    std::wstring m_Path;
    int32_t m_KeyLength = 0;
    // Each number's bytes, least significant first, zero-extended.
    uint32_t m_E[kMaxWords] = {};
    uint32_t m_D[kMaxWords] = {};
    uint32_t m_N[kMaxWords] = {};
};

// Signs data with RSASSA-PKCS1-v1_5 ("SHA-160" or "SHA-256"); the signature
// is written least significant byte first and its length is the key's byte
// length (1 to 256). The number arguments hold at least keyBytes bytes,
// least significant first; the public exponent is not used. False, with
// nothing printed, when the run is asked to stop (see
// common/platform/Stop.h) while a package of more than a few MiB is
// digested.
bool SignPackage(const uint8_t* data, uint32_t dataLength, uint8_t* signature, uint32_t* signatureLength,
                 const std::wstring& hashName, const uint8_t* privateExponent, const uint8_t* publicExponent,
                 const uint8_t* modulus, int keyBytes);
