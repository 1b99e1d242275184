// Keys as the TIM model keeps them, whether listed under "Keys_Data", used
// for the digital signature or given as the DTIM key. CKey carries what all
// keys share and cannot be made on its own. CRSAKey adds the exponent, the
// modulus and the private part; CECCKey adds the two coordinates of the
// public point and the private part. Each number is kept as the layout file
// spells it: a list of 32-bit word texts in the order the file lists them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "common/TimLib.h"
#include "timlib/KeyRecords.h"

// Signature scheme IDs.
constexpr uint32_t kSchemeZelmoraDs = 0;
constexpr uint32_t kSchemePkcs1V15Quarn = 1;
constexpr uint32_t kSchemePkcs1V21Quarn = 2;
constexpr uint32_t kSchemePkcs1V15Ippcp = 3;
constexpr uint32_t kSchemePkcs1V21Ippcp = 4;
constexpr uint32_t kSchemeEcdsa256 = 5;
constexpr uint32_t kSchemeEcdsa521 = 6;
// Bit 31 of a scheme ID given to a key is the key's scheme flag.
constexpr uint32_t kSchemeFlagBit = 0x80000000u;

class CKey : public CTimLib {
public:
    ~CKey() override;
    CKey& operator=(const CKey&) = delete;

    void SetPublicKeySize(uint32_t value);
    // Sets the key size in bits and makes the public key size the same.
    void SetKeySize(uint32_t bits);

    // Every private-key word becomes "0x00000000"; the count stays.
    void ZeroPrivateKey();
    // Empties the three word lists.
    void ClearKeyWords();

    // The record operations never touch bytes outside a number's area: a
    // number longer than its area is not stored, and a load whose key size
    // needs more words than the area holds fails.
    void StoreToKeyRecord(TimKeyRecord& record) const;
    // Overwrites the lists in place, so they must already hold the key
    // size's word count; false otherwise.
    bool LoadFromKeyRecord(const TimKeyRecord& record);
    void StoreToSignatureRecord(TimSignatureRecord& record) const;
    bool LoadFromSignatureRecord(const TimSignatureRecord& record);

    // What becomes of a number longer than the words a store asks for.
    enum class LongerNumber { kCut, kSkip };
    // Writes the scheme, hash size and key size and the first words words
    // of each number (never more than an area takes) into the signature
    // record; a longer number is cut to them or, with kSkip, not stored.
    // The record's other bytes stay. StoreToSignatureRecord is this with
    // the key size's word count and kSkip on a zeroed record.
    void StoreSignatureWords(TimSignatureRecord& record, uint64_t words, LongerNumber longer) const;

    // The set operations overwrite the first count texts and fail, changing
    // nothing, when the list is shorter; the get operations fail, writing
    // nothing, when the list holds more than capacity texts. None adds texts.
    bool SetPrivateKeyWords(const uint32_t* words, size_t count);
    bool GetPrivateKeyWords(uint32_t* words, size_t capacity) const;
    bool SetModulusOrX(const uint32_t* words, size_t count);
    bool GetModulusOrX(uint32_t* words, size_t capacity) const;
    bool SetExponentOrY(const uint32_t* words, size_t count);
    bool GetExponentOrY(uint32_t* words, size_t capacity) const;

    virtual std::unique_ptr<CKey> Clone() const = 0;

    // Cut or padded (with zero characters) to four characters, upper-cased;
    // also sets the hexadecimal form.
    void SetKeyId(std::wstring keyId);
    // An ID outside the hash table prints a message and gives "SHA-160".
    void SetHashAlgorithmId(uint32_t hashId);
    // Bit 31 goes to the scheme flag; the rest names the scheme.
    void SetEncryptAlgorithmId(uint32_t schemeId);
    // The scheme ID of the scheme name, without the flag.
    uint32_t GetEncryptAlgorithmId() const;
    uint32_t GetHashSizeInBytes() const;
    // Words of a number of the key size, the last one possibly partial.
    uint64_t WordCount() const;

    bool m_bChanged = false;
    std::wstring m_SchemeName;
    std::wstring m_KeyId;
    std::wstring m_KeyIdHex;
    std::wstring m_HashAlgorithm = L"SHA-160";
    uint32_t m_PublicKeySize = 0;
    uint32_t m_KeySize = 0;
    bool m_bSchemeFlag = false;

protected:
    // The word lists of a key kind in record order: the number stored first
    // (modulus or X), the second (exponent or Y), the private key.
    struct Numbers {
        TextList* first;
        TextList* second;
        TextList* privateKey;
    };
    // What a key kind fixes: its scheme and size at construction, and the
    // areas of its two numbers in the two records.
    struct Kind {
        const wchar_t* scheme;
        uint32_t bits;
        size_t areaWords;
        size_t keyFirst;
        size_t keySecond;
        size_t signatureFirst;
        size_t signatureSecond;
    };

    explicit CKey(const Kind& kind);
    CKey(const CKey&) = default;

    virtual Numbers WordLists() = 0;

private:
    Numbers ConstWordLists() const;
    // Both numbers, at most words words each (never more than the area).
    template <class Record>
    void StoreNumbers(Record& record, size_t firstOffset, size_t secondOffset, uint64_t words,
                      LongerNumber longer) const;
    // Both numbers, the second only when the first loaded; false when the
    // key size needs more words than an area holds or than a list has.
    template <class Record>
    bool LoadNumbers(const Record& record, size_t firstOffset, size_t secondOffset);

    const Kind* m_pKind;
};

class CRSAKey final : public CKey {
public:
    CRSAKey();
    CRSAKey(const CRSAKey&) = default;
    std::unique_ptr<CKey> Clone() const override;

    TextList m_PublicExponent;
    TextList m_Modulus;
    TextList m_PrivateKey;

protected:
    Numbers WordLists() override;

private:
    static const Kind kKind;
};

class CECCKey final : public CKey {
public:
    CECCKey();
    CECCKey(const CECCKey&) = default;
    std::unique_ptr<CKey> Clone() const override;

    TextList m_CompX;
    TextList m_CompY;
    TextList m_PrivateKey;

protected:
    Numbers WordLists() override;

private:
    static const Kind kKind;
};

// The scheme names of a layout file: the ID of the first name, from the
// scheme with ID firstId on, that the text contains. False for none.
bool FindSchemeInText(const std::wstring& text, uint32_t& schemeId, uint32_t firstId = kSchemeZelmoraDs);
bool IsEcdsaScheme(uint32_t schemeId);
// A new key of the class that holds keys of the scheme, with its class's
// defaults.
std::unique_ptr<CKey> CreateKeyForScheme(uint32_t schemeId);
// The hash names of a layout file: size in bytes and name of the first one
// the text contains. False for none.
bool FindHashInText(const std::wstring& text, uint32_t& hashSize, std::wstring& hashName);
