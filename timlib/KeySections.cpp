// The key and signature sections of a trusted layout file. Single keys are
// looked up; the number blocks are read from the file as a line stream,
// every test on a line being whether it contains a text.
#include <algorithm>
#include <memory>
#include <sstream>
#include <string>

#include "common/ProcessorPlatforms.h"
#include "common/ZorlixException.h"
#include "common/platform/Console.h"
#include "common/platform/Format.h"
#include "timlib/BlfParser.h"
#include "timlib/Key.h"
#include "timlib/LayoutLookup.h"

namespace {

using namespace layout;

const wchar_t kKeysData[] = L"Keys_Data";
const wchar_t kEndKeysData[] = L"End_Keys_Data";
const wchar_t kEncryptAlgorithmId[] = L"Encrypt_Algorithm_ID";
const wchar_t kHexMarker[] = L"0x";

// TIM versions from this one on give key sizes in bits, older ones in bytes.
constexpr uint32_t kFirstBitSizedVersion = 0x30300;
// A signature key makes one text per word of its size: no layout file may
// make that unbounded.
constexpr uint32_t kMaxSignatureKeyBits = 16384;

// The sections that hold one key with its scheme, hash and numbers.
struct KeySection {
    const wchar_t* name;
    const wchar_t* end;
    const wchar_t* unknownScheme;
    const wchar_t* unknownHash;
    const wchar_t* openFailed;
};

const KeySection kSignatureSection = {L"Digital_Signature_Data", L"End_Digital_Signature_Data",
                                      L"unknown DSAID in ParseDSAInfo", L"unknown HashAlgID in ParseDSAInfo",
                                      L"Open blf file failed in ParseDSAInfo"};
const KeySection kDtimSection = {L"DTIM_Keys_Data", L"End_DTIM_Keys_Data", L"unknown DSAID in ParseDtimKeyInfo",
                                 L"unknown HashAlgID in ParseDSAInfo", L"Open blf file failed in ParseDSAInfo"};

// A number block of a key: its start and end texts and the list it fills.
template <class Key>
struct NumberBlock {
    const wchar_t* start;
    const wchar_t* end;
    TextList Key::*list;
};

// In the order they are tested on a line; the "Keys_Data" section reads
// only the first two (the public numbers).
const NumberBlock<CRSAKey> kRsaBlocks[] = {
    {L"RSA_Public_Exponent", L"End_RSA_Public_Exponent", &CRSAKey::m_PublicExponent},
    {L"RSA_System_Modulus", L"End_RSA_System_Modulus", &CRSAKey::m_Modulus},
    {L"RSA_Private_Key", L"End_RSA_Private_Key", &CRSAKey::m_PrivateKey},
};
const NumberBlock<CECCKey> kEcdsaBlocks[] = {
    {L"ECDSA_Public_Key_CompX", L"End_ECDSA_Public_Key_CompX", &CECCKey::m_CompX},
    {L"ECDSA_Public_Key_CompY", L"End_ECDSA_Public_Key_CompY", &CECCKey::m_CompY},
    {L"ECDSA_Private_Key", L"End_ECDSA_Private_Key", &CECCKey::m_PrivateKey},
};
constexpr size_t kPublicBlocks = 2;
constexpr size_t kAllBlocks = 3;

bool IsBitSizedVersion(const CTimDescriptor& tim)
{
    return tim.m_HeaderWords[CTimDescriptor::kWordVersion] >= kFirstBitSizedVersion;
}

// The next line; empty once the input has run out.
bool ReadLine(std::wistream& stream, std::wstring& line)
{
    if (!NextLine(stream, line)) {
        line.clear();
        return false;
    }
    return true;
}

// Appends the value of every "name = 0x..." line up to the line that
// contains end (or the end of the input), which is left in line.
void ReadNumberBlock(std::wistream& stream, std::wstring& line, const wchar_t* end, TextList& list)
{
    std::wstring name;
    std::wstring value;
    while (ReadLine(stream, line) && !Contains(line, end)) {
        if (Contains(line, kHexMarker) && CTimLib::SplitNameValue(name, value, line)) {
            list.push_back(value);
        }
    }
}

// Reads the blocks that start on the line, each tested on the line the
// previous one ended with.
template <class Key, size_t N>
void ReadBlocksOf(std::wistream& stream, std::wstring& line, Key& key, const NumberBlock<Key> (&blocks)[N],
                  size_t count)
{
    for (size_t i = 0; i < std::min(count, N); ++i) {
        if (Contains(line, blocks[i].start)) {
            ReadNumberBlock(stream, line, blocks[i].end, key.*blocks[i].list);
        }
    }
}

void ReadNumberBlocks(std::wistream& stream, std::wstring& line, CKey& key, size_t count)
{
    if (auto* rsa = dynamic_cast<CRSAKey*>(&key)) {
        ReadBlocksOf(stream, line, *rsa, kRsaBlocks, count);
    } else if (auto* ecdsa = dynamic_cast<CECCKey*>(&key)) {
        ReadBlocksOf(stream, line, *ecdsa, kEcdsaBlocks, count);
    }
}

void FailUnreadable(const LayoutStream& stream, const wchar_t* failure)
{
    if (!stream.Readable()) {
        platform::Print(L"\nOpen blf file failed\n");
        throw CZorlixexception(failure);
    }
}

// The failures of the keys section: the console line, then the same text
// naming the step.
[[noreturn]] void FailKey(const wchar_t* what)
{
    platform::Print(L"%s\n", what);
    throw CZorlixexception(std::wstring(what) + L" in ParseKeyInfo");
}

// The scheme ID of the first line of key k's block, when it names one;
// otherwise the scheme stays as the previous key left it.
void ReadSchemeLine(const std::wstring& line, bool bitSized, uint32_t& schemeId)
{
    std::wstring name;
    std::wstring value;
    if (!bitSized || !Contains(line, kEncryptAlgorithmId) || !CTimLib::SplitNameValue(name, value, line)) {
        return;
    }
    uint32_t found = kSchemeZelmoraDs;
    if (FindSchemeInText(value, found) && found <= kSchemePkcs1V15Quarn) {
        schemeId = found;
    } else if (FindSchemeInText(line, found, kSchemePkcs1V21Quarn)) {
        schemeId = found;
    } else {
        schemeId = kSchemeZelmoraDs;
    }
}

// Key k's block up to its end line, or null when that line never comes.
std::unique_ptr<CKey> ReadKeyBlock(std::wistream& stream, uint32_t k, bool bitSized, uint32_t& schemeId)
{
    std::wstring line;
    ReadLine(stream, line);
    ReadSchemeLine(line, bitSized, schemeId);
    std::unique_ptr<CKey> key = CreateKeyForScheme(schemeId);
    const std::wstring endLine = platform::Format(L"End_KEY_%d", k);
    while (ReadLine(stream, line)) {
        if (Contains(line, endLine.c_str())) {
            return key;
        }
        ReadNumberBlocks(stream, line, *key, kPublicBlocks);
    }
    return nullptr;
}

// The "%d_KEY_%s" keys of key i.
void ReadKeySettings(CBlfParser& parser, CKey& key, uint32_t i, bool bitSized)
{
    const auto name = [i](const wchar_t* setting) { return platform::Format(L"%d_KEY_%s", i, setting); };
    key.SetKeyId(Text(parser, kKeysData, name(L"Key_ID"), kNotAvailable));

    uint32_t hashSize = 0;
    std::wstring hashName;
    if (!FindHashInText(Text(parser, kKeysData, name(L"Hash_Algorithm_ID"), kNotAvailable), hashSize, hashName)) {
        FailKey(L"Failed to parse key to get Hash_Algorithm_ID in blf file");
    }
    key.SetHashAlgorithmId(hashSize);
    key.m_HashAlgorithm = hashName;

    if (bitSized) {
        const int32_t bits = Int(parser, kKeysData, name(L"Key_Size_in_bits"), -1);
        if (bits == -1) {
            FailKey(L"Failed to parse key to get Key_Size_in_bytes in blf file");
        }
        key.SetKeySize(static_cast<uint32_t>(bits));
        const int32_t publicSize = Int(parser, kKeysData, name(L"Public_Key_Size_in_bytes"), -1);
        if (publicSize == -1) {
            FailKey(L"Failed to parse key to get Public_Key_Size_in_bytes in blf file");
        }
        key.SetPublicKeySize(static_cast<uint32_t>(publicSize));
        uint32_t schemeId = kSchemeZelmoraDs;
        if (!FindSchemeInText(Text(parser, kKeysData, name(kEncryptAlgorithmId), kNotAvailable), schemeId)) {
            FailKey(L"Failed to parse key to get Encrypt_Algorithm_ID in blf file");
        }
        key.m_bChanged = true;
        key.SetEncryptAlgorithmId(schemeId);
        return;
    }

    const int32_t modulusBytes = Int(parser, kKeysData, name(L"Modulus_Size_in_bytes"), -1);
    if (modulusBytes == -1) {
        FailKey(L"Failed to parse key to get Modulus_Size_in_bytes in blf file");
    }
    key.SetKeySize(static_cast<uint32_t>(modulusBytes) * 8);
    const int32_t publicBytes = Int(parser, kKeysData, name(L"Public_Key_Size_in_bytes"), -1);
    if (publicBytes == -1) {
        FailKey(L"Failed to parse key to get Public_Key_Size_in_bytes in blf file");
    }
    key.SetPublicKeySize(static_cast<uint32_t>(publicBytes) * 8);
}

uint32_t ReadSectionScheme(CBlfParser& parser, const KeySection& section)
{
    uint32_t schemeId = kSchemeZelmoraDs;
    if (!FindSchemeInText(Text(parser, section.name, L"DSA_Algorithm", kNotAvailable), schemeId)) {
        throw CZorlixexception(section.unknownScheme);
    }
    return schemeId;
}

struct Hash {
    uint32_t size = 0;
    std::wstring name;
};

Hash ReadSectionHash(CBlfParser& parser, const KeySection& section)
{
    Hash hash;
    if (!FindHashInText(Text(parser, section.name, L"Hash_Algorithm_ID", kNotAvailable), hash.size, hash.name)) {
        throw CZorlixexception(section.unknownHash);
    }
    return hash;
}

void ApplySchemeAndHash(CKey& key, uint32_t schemeId, const Hash& hash)
{
    key.m_bChanged = true;
    key.SetHashAlgorithmId(hash.size);
    key.m_HashAlgorithm = hash.name;
    key.SetEncryptAlgorithmId(schemeId);
}

// Unscaled in both forms: an old layout's byte count is taken as bits.
const wchar_t* SectionSizeKey(bool bitSized)
{
    return bitSized ? L"Key_Size_in_bits" : L"Modulus_Size_in_bytes";
}

void ReplaceKey(std::unique_ptr<CKey>& holder, std::unique_ptr<CKey> key)
{
    if (holder) {
        holder->ClearKeyWords();
    }
    holder = std::move(key);
}

// Every stretch of the section, from a line naming it to a line naming
// its end, adds its number blocks to the key.
void ReadSectionNumbers(const CBlfParser& parser, const KeySection& section, CKey& key)
{
    LayoutStream layoutStream(parser.HeldText(), parser.m_BlfPath);
    FailUnreadable(layoutStream, section.openFailed);
    std::wistream& stream = layoutStream.Stream();
    std::wstring line;
    bool inSection = false;
    while (inSection ? ReadLine(stream, line) : NextLineHolding(stream, section.name, line)) {
        if (!inSection) {
            inSection = true;
        } else if (Contains(line, section.end)) {
            inSection = false;
        } else {
            ReadNumberBlocks(stream, line, key, kAllBlocks);
        }
    }
}

}  // namespace

bool CBlfParser::ParseKeyInfo()
{
    CTimDescriptor& tim = m_TimDescriptor;
    tim.m_HeaderWords[CTimDescriptor::kWordNumberOfKeys] =
        static_cast<uint32_t>(Int(*this, kTimConfiguration, L"Number_of_Keys", 0));
    const bool bitSized = IsBitSizedVersion(tim);

    LayoutStream layoutStream(HeldText(), m_BlfPath);
    FailUnreadable(layoutStream, L"Open blf file failed in ParseKeyInfo");
    std::wistream& stream = layoutStream.Stream();
    std::wstring line;
    if (!NextLineHolding(stream, kKeysData, line)) {
        line.clear();
    }
    // Keys count from 1 without gaps; the scheme carries over from one key
    // to the next.
    uint32_t schemeId = kSchemeZelmoraDs;
    uint32_t completed = 0;
    while (ReadLine(stream, line) && !Contains(line, kEndKeysData)) {
        const std::wstring begin = platform::Format(L"Begin_KEY_%d", completed + 1);
        if (!Contains(line, begin.c_str())) {
            continue;
        }
        // A key block past the most entries a layout may hold is refused,
        // as every list of a layout is.
        if (completed == kMaxLayoutCount) {
            const std::wstring refusal = CountRefusal(begin);
            platform::Print(L"%s\n", refusal);
            throw CZorlixexception(refusal);
        }
        std::unique_ptr<CKey> key = ReadKeyBlock(stream, completed + 1, bitSized, schemeId);
        if (!key) {
            break;
        }
        tim.m_Keys.push_back(std::move(key));
        ++completed;
    }

    uint32_t i = 1;
    for (const auto& key : tim.m_Keys) {
        ReadKeySettings(*this, *key, i++, bitSized);
    }
    return true;
}

bool CBlfParser::ParseDSAInfo()
{
    CTimDescriptor& tim = m_TimDescriptor;
    TimSignatureRecord& record = tim.m_SignatureRecord;
    const uint32_t schemeId = ReadSectionScheme(*this, kSignatureSection);
    record.SetWord(TimSignatureRecord::kScheme, schemeId);
    ReplaceKey(tim.m_Signature.m_pKey, CreateKeyForScheme(schemeId));
    CKey& key = *tim.m_Signature.m_pKey;

    const Hash hash = ReadSectionHash(*this, kSignatureSection);
    record.SetWord(TimSignatureRecord::kHashSize, hash.size);
    ApplySchemeAndHash(key, schemeId, hash);

    const wchar_t* sizeKey = SectionSizeKey(IsBitSizedVersion(tim));
    const int32_t bits = Int(*this, kSignatureSection.name, sizeKey, 0);
    if (static_cast<uint32_t>(bits) > kMaxSignatureKeyBits) {
        platform::Print(L"%s = %d is refused: at most %d bits are allowed\n", sizeKey, bits,
                        static_cast<int>(kMaxSignatureKeyBits));
        throw CZorlixexception(L"Key size too large in ParseDSAInfo");
    }
    record.SetWord(TimSignatureRecord::kKeySize, static_cast<uint32_t>(bits));
    tim.m_Signature.SetKeySize(static_cast<uint32_t>(bits));

    ReadSectionNumbers(*this, kSignatureSection, key);
    StoreSignatureKeyWords(tim);
    return true;
}

bool CBlfParser::ParseDtimKeyInfo()
{
    CTimDescriptor& tim = m_TimDescriptor;
    const uint32_t schemeId = ReadSectionScheme(*this, kDtimSection);
    ReplaceKey(tim.m_pKey, CreateKeyForScheme(schemeId));
    CKey& key = *tim.m_pKey;

    ApplySchemeAndHash(key, schemeId, ReadSectionHash(*this, kDtimSection));
    key.SetKeySize(static_cast<uint32_t>(Int(*this, kDtimSection.name, SectionSizeKey(IsBitSizedVersion(tim)), 0)));

    ReadSectionNumbers(*this, kDtimSection, key);
    return true;
}

bool CBlfParser::StoreSignatureKeyWords(CTimDescriptor& tim)
{
    const CKey* key = tim.m_Signature.m_pKey.get();
    if (key == nullptr) {
        return true;
    }
    // The key's own class decides how its numbers are stored, whatever the
    // TIM version: an ECDSA key counts a partial word, an RSA key only whole
    // words of the key size. Words beyond them are cut off.
    const uint64_t words = dynamic_cast<const CECCKey*>(key) != nullptr ? key->WordCount() : key->m_KeySize / 32;
    key->StoreSignatureWords(tim.m_SignatureRecord, words, CKey::LongerNumber::kCut);
    return true;
}

void CBlfParser::ParseKeySections()
{
    // Their results are always true: failures raise.
    ParseKeyInfo();
    ParseDSAInfo();
    if (ReadsDtimKeys(m_PlatformType) && m_bDtimNeeded) {
        ParseDtimKeyInfo();
    }
}
