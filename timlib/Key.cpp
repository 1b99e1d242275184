#include "timlib/Key.h"

#include <algorithm>
#include <utility>

#include "common/platform/Console.h"

namespace {

struct SchemeRow {
    const wchar_t* name;  // as written in a layout file
    uint32_t id;
    bool named;           // false: a key given this ID is named "Zelmora_DS"
    bool ecdsa;
};

// In ID order; a layout text takes the first name it contains.
const SchemeRow kSchemeRows[] = {
    {L"Zelmora_DS", kSchemeZelmoraDs, true, false},
    {L"PKCS1_v1_5_Quarn", kSchemePkcs1V15Quarn, true, false},
    {L"PKCS1_v2_1_Quarn", kSchemePkcs1V21Quarn, false, false},
    {L"PKCS1_v1_5_Ippcp", kSchemePkcs1V15Ippcp, true, false},
    {L"PKCS1_v2_1_Ippcp", kSchemePkcs1V21Ippcp, false, false},
    {L"ECDSA_256", kSchemeEcdsa256, true, true},
    {L"ECDSA_521", kSchemeEcdsa521, true, true},
};
const wchar_t kDefaultSchemeName[] = L"Zelmora_DS";

struct HashRow {
    const wchar_t* name;
    uint32_t size;  // in bytes
    uint32_t ids[3];
};

// The first row is also the default.
const HashRow kHashRows[] = {
    {L"SHA-160", 20, {1, 20, 160}},
    {L"SHA-256", 32, {2, 32, 256}},
    {L"SHA-512", 64, {64, 512, 512}},
};

// Stores the number's words, at most count of them (count never exceeds
// the area). A longer number is cut to count words, or with skipLonger
// leaves its area as it is.
template <class Record>
void StoreNumber(Record& record, size_t offset, const TextList& list, size_t count, bool skipLonger)
{
    if (skipLonger && list.size() > count) {
        return;
    }
    uint32_t words[kRsaAreaWords] = {};
    const size_t stored = std::min(count, list.size());
    auto text = list.begin();
    for (size_t i = 0; i < stored; ++i, ++text) {
        words[i] = CTimLib::ParseUInt32(*text);
    }
    record.StoreWords(offset, words, stored);
}

template <class Record>
bool LoadNumber(const Record& record, size_t offset, TextList& list, size_t count)
{
    uint32_t words[kRsaAreaWords] = {};
    record.LoadWords(offset, words, count);
    return CTimLib::WordsToTextList(words, list, count);
}

}  // namespace

// Scheme and size at construction, then the areas: words per number, and
// the offsets of the first and second number in the key record and in the
// signature record.
const CKey::Kind CRSAKey::kKind = {
    L"PKCS1_v1_5_Ippcp", 1024, kRsaAreaWords, TimKeyRecord::kModulus, TimKeyRecord::kExponent,
    TimSignatureRecord::kModulus, TimSignatureRecord::kExponent};
const CKey::Kind CECCKey::kKind = {
    L"ECDSA_256", 256, kEcdsaAreaWords, TimKeyRecord::kCompX, TimKeyRecord::kCompY,
    TimSignatureRecord::kCompX, TimSignatureRecord::kCompY};

CKey::CKey(const Kind& kind) : m_SchemeName(kind.scheme), m_pKind(&kind)
{
    SetKeySize(kind.bits);
}

CKey::~CKey() = default;

void CKey::SetPublicKeySize(uint32_t value)
{
    m_PublicKeySize = value;
}

void CKey::SetKeySize(uint32_t bits)
{
    m_KeySize = bits;
    SetPublicKeySize(bits);
}

void CKey::ZeroPrivateKey()
{
    for (std::wstring& word : *WordLists().privateKey) {
        word = L"0x00000000";
    }
    m_bChanged = true;
}

void CKey::ClearKeyWords()
{
    const Numbers numbers = WordLists();
    numbers.first->clear();
    numbers.second->clear();
    numbers.privateKey->clear();
}

uint64_t CKey::WordCount() const
{
    return (static_cast<uint64_t>(m_KeySize) + 31) / 32;
}

CKey::Numbers CKey::ConstWordLists() const
{
    // Only the const operations use it, and they only read the lists.
    return const_cast<CKey*>(this)->WordLists();
}

template <class Record>
void CKey::StoreNumbers(Record& record, size_t firstOffset, size_t secondOffset, uint64_t words,
                        LongerNumber longer) const
{
    const size_t count = static_cast<size_t>(std::min<uint64_t>(words, m_pKind->areaWords));
    const Numbers numbers = ConstWordLists();
    const bool skipLonger = longer == LongerNumber::kSkip;
    StoreNumber(record, firstOffset, *numbers.first, count, skipLonger);
    StoreNumber(record, secondOffset, *numbers.second, count, skipLonger);
}

template <class Record>
bool CKey::LoadNumbers(const Record& record, size_t firstOffset, size_t secondOffset)
{
    if (WordCount() > m_pKind->areaWords) {
        return false;
    }
    const size_t count = static_cast<size_t>(WordCount());
    const Numbers numbers = WordLists();
    return LoadNumber(record, firstOffset, *numbers.first, count) &&
           LoadNumber(record, secondOffset, *numbers.second, count);
}

void CKey::StoreToKeyRecord(TimKeyRecord& record) const
{
    record.Clear();
    record.SetWord(TimKeyRecord::kKeyId, ParseUInt32(m_KeyIdHex));
    record.SetWord(TimKeyRecord::kScheme, GetEncryptAlgorithmId() | (m_bSchemeFlag ? kSchemeFlagBit : 0));
    record.SetWord(TimKeyRecord::kHashSize, GetHashSizeInBytes());
    record.SetWord(TimKeyRecord::kKeySize, m_KeySize);
    record.SetWord(TimKeyRecord::kPublicKeySize, m_PublicKeySize);
    StoreNumbers(record, m_pKind->keyFirst, m_pKind->keySecond, WordCount(), LongerNumber::kSkip);
}

bool CKey::LoadFromKeyRecord(const TimKeyRecord& record)
{
    SetKeyId(HexTextToTag(FormatHex32(record.Word(TimKeyRecord::kKeyId))));
    SetEncryptAlgorithmId(record.Word(TimKeyRecord::kScheme));
    SetHashAlgorithmId(record.Word(TimKeyRecord::kHashSize));
    SetKeySize(record.Word(TimKeyRecord::kKeySize));
    return LoadNumbers(record, m_pKind->keyFirst, m_pKind->keySecond);
}

void CKey::StoreToSignatureRecord(TimSignatureRecord& record) const
{
    record.Clear();
    StoreSignatureWords(record, WordCount(), LongerNumber::kSkip);
}

void CKey::StoreSignatureWords(TimSignatureRecord& record, uint64_t words, LongerNumber longer) const
{
    record.SetWord(TimSignatureRecord::kKeySize, m_KeySize);
    record.SetWord(TimSignatureRecord::kScheme, GetEncryptAlgorithmId());
    record.SetWord(TimSignatureRecord::kHashSize, GetHashSizeInBytes());
    StoreNumbers(record, m_pKind->signatureFirst, m_pKind->signatureSecond, words, longer);
}

bool CKey::LoadFromSignatureRecord(const TimSignatureRecord& record)
{
    SetEncryptAlgorithmId(record.Word(TimSignatureRecord::kScheme));
    SetKeySize(record.Word(TimSignatureRecord::kKeySize));
    SetHashAlgorithmId(record.Word(TimSignatureRecord::kHashSize));
    return LoadNumbers(record, m_pKind->signatureFirst, m_pKind->signatureSecond);
}

bool CKey::SetPrivateKeyWords(const uint32_t* words, size_t count)
{
    return WordsToTextList(words, *WordLists().privateKey, count);
}

bool CKey::GetPrivateKeyWords(uint32_t* words, size_t capacity) const
{
    return TextListToWords(*ConstWordLists().privateKey, words, capacity);
}

bool CKey::SetModulusOrX(const uint32_t* words, size_t count)
{
    return WordsToTextList(words, *WordLists().first, count);
}

bool CKey::GetModulusOrX(uint32_t* words, size_t capacity) const
{
    return TextListToWords(*ConstWordLists().first, words, capacity);
}

bool CKey::SetExponentOrY(const uint32_t* words, size_t count)
{
    return WordsToTextList(words, *WordLists().second, count);
}

bool CKey::GetExponentOrY(uint32_t* words, size_t capacity) const
{
    return TextListToWords(*ConstWordLists().second, words, capacity);
}

void CKey::SetKeyId(std::wstring keyId)
{
    keyId.resize(4);
    MakeUpperText(keyId, true);
    m_KeyId = std::move(keyId);
    m_KeyIdHex = TagToHexText(m_KeyId);
    m_bChanged = true;
}

void CKey::SetHashAlgorithmId(uint32_t hashId)
{
    for (const HashRow& row : kHashRows) {
        if (std::find(std::begin(row.ids), std::end(row.ids), hashId) != std::end(row.ids)) {
            m_HashAlgorithm = row.name;
            return;
        }
    }
    platform::Print(L"\nUnrecognized Hash Algorithm Id. Defaulting to SHA-160.\n");
    m_HashAlgorithm = kHashRows[0].name;
}

void CKey::SetEncryptAlgorithmId(uint32_t schemeId)
{
    m_bSchemeFlag = (schemeId & kSchemeFlagBit) != 0;
    schemeId &= ~kSchemeFlagBit;
    m_SchemeName = kDefaultSchemeName;
    for (const SchemeRow& row : kSchemeRows) {
        if (row.id == schemeId && row.named) {
            m_SchemeName = row.name;
        }
    }
}

uint32_t CKey::GetEncryptAlgorithmId() const
{
    for (const SchemeRow& row : kSchemeRows) {
        if (row.named && m_SchemeName == row.name) {
            return row.id;
        }
    }
    return kSchemeZelmoraDs;
}

uint32_t CKey::GetHashSizeInBytes() const
{
    for (const HashRow& row : kHashRows) {
        if (m_HashAlgorithm == row.name) {
            return row.size;
        }
    }
    return kHashRows[0].size;
}

CRSAKey::CRSAKey() : CKey(kKind) {}

std::unique_ptr<CKey> CRSAKey::Clone() const
{
    return std::make_unique<CRSAKey>(*this);
}

CKey::Numbers CRSAKey::WordLists()
{
    return {&m_Modulus, &m_PublicExponent, &m_PrivateKey};
}

CECCKey::CECCKey() : CKey(kKind) {}

std::unique_ptr<CKey> CECCKey::Clone() const
{
    return std::make_unique<CECCKey>(*this);
}

CKey::Numbers CECCKey::WordLists()
{
    return {&m_CompX, &m_CompY, &m_PrivateKey};
}

bool FindSchemeInText(const std::wstring& text, uint32_t& schemeId, uint32_t firstId)
{
    for (const SchemeRow& row : kSchemeRows) {
        if (row.id >= firstId && text.find(row.name) != std::wstring::npos) {
            schemeId = row.id;
            return true;
        }
    }
    return false;
}

bool IsEcdsaScheme(uint32_t schemeId)
{
    for (const SchemeRow& row : kSchemeRows) {
        if (row.id == schemeId) {
            return row.ecdsa;
        }
    }
    return false;
}

std::unique_ptr<CKey> CreateKeyForScheme(uint32_t schemeId)
{
    if (IsEcdsaScheme(schemeId)) {
        return std::make_unique<CECCKey>();
    }
    return std::make_unique<CRSAKey>();
}

bool FindHashInText(const std::wstring& text, uint32_t& hashSize, std::wstring& hashName)
{
    for (const HashRow& row : kHashRows) {
        if (text.find(row.name) != std::wstring::npos) {
            hashSize = row.size;
            hashName = row.name;
            return true;
        }
    }
    return false;
}
