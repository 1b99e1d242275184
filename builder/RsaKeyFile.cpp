#include "builder/RsaKeyFile.h"

#include <openssl/bio.h>
#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/crypto.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "common/platform/Console.h"
#include "common/platform/FileSystem.h"
#include "common/platform/Stop.h"
#include "common/platform/Text.h"

namespace {

// The PEM forms a key is read from: the traditional RSA form and the
// general (PKCS #8) form that "openssl genrsa" writes by default.
struct KeyForm {
    const char* begin;
    const char* end;
};
const KeyForm kKeyForms[] = {
    {"BEGIN RSA PRIVATE KEY", "END RSA PRIVATE KEY"},
    {"BEGIN PRIVATE KEY", "END PRIVATE KEY"},
};
// Blocks of keys that can never sign, named in the refusal.
struct OtherKey {
    const char* begin;
    const wchar_t* kind;
};
const OtherKey kOtherKeys[] = {
    {"BEGIN PUBLIC KEY", L"public key"},
    {"BEGIN RSA PUBLIC KEY", L"public key"},
    {"BEGIN EC PRIVATE KEY", L"EC"},
    {"BEGIN DSA PRIVATE KEY", L"DSA"},
};

// The block of a key in the general form under a pass phrase; the
// traditional form says so in a header line inside its RSA block.
const char kEncryptedKeyBegin[] = "BEGIN ENCRYPTED PRIVATE KEY";

void ReportOtherKind(const std::wstring& path, const std::wstring& kind)
{
    platform::Print(L"private key file %s holds no RSA private key (key kind: %s).\n\n", path, kind);
}

void ReportPassPhrase(const std::wstring& path)
{
    platform::Print(L"private key file %s is protected by a pass phrase: keys with a pass phrase are not "
                    L"supported.\n\n",
                    path);
}

// The key file's bytes, wiped when they go, also the copies left by
// growing: they hold the private key.
class KeyText {
public:
    KeyText() = default;
    KeyText(const KeyText&) = delete;
    KeyText& operator=(const KeyText&) = delete;
    ~KeyText() { OPENSSL_cleanse(m_Buffer.data(), m_Buffer.size()); }

    void Append(const char* data, size_t length)
    {
        if (length > m_Buffer.size() - m_Size) {
            std::vector<char> larger(std::max(m_Buffer.size() * 2, m_Size + length));
            std::copy(m_Buffer.begin(), m_Buffer.begin() + static_cast<std::ptrdiff_t>(m_Size), larger.begin());
            OPENSSL_cleanse(m_Buffer.data(), m_Buffer.size());
            m_Buffer.swap(larger);
        }
        std::copy(data, data + length, m_Buffer.begin() + static_cast<std::ptrdiff_t>(m_Size));
        m_Size += length;
    }
    void Reserve(size_t size)
    {
        if (m_Size == 0 && size > m_Buffer.size()) {
            m_Buffer.resize(size);
        }
    }
    const char* Data() const { return m_Buffer.data(); }
    size_t Size() const { return m_Size; }
    bool Contains(const char* marker) const
    {
        const char* end = m_Buffer.data() + m_Size;
        return std::search(m_Buffer.data(), end, marker, marker + std::strlen(marker)) != end;
    }

private:
    std::vector<char> m_Buffer;
    size_t m_Size = 0;
};

struct BioFree {
    void operator()(BIO* bio) const { BIO_free(bio); }
};
struct PkeyFree {
    void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
// Every number may be, or may have been near, the private exponent.
struct BnFree {
    void operator()(BIGNUM* bn) const { BN_clear_free(bn); }
};
struct BnCtxFree {
    void operator()(BN_CTX* ctx) const { BN_CTX_free(ctx); }
};
struct MontFree {
    void operator()(BN_MONT_CTX* mont) const { BN_MONT_CTX_free(mont); }
};
using Bio = std::unique_ptr<BIO, BioFree>;
using Pkey = std::unique_ptr<EVP_PKEY, PkeyFree>;
using Bn = std::unique_ptr<BIGNUM, BnFree>;
using BnCtx = std::unique_ptr<BN_CTX, BnCtxFree>;
using Mont = std::unique_ptr<BN_MONT_CTX, MontFree>;

// Key files with a pass phrase are not supported: an encrypted key must
// fail to load rather than make the library ask on the terminal. The
// refusal (-1, not an empty pass phrase) notes that one was asked for.
int NoPassPhrase(char*, int, int, void* asked)
{
    *static_cast<bool*>(asked) = true;
    return -1;
}

uint8_t* Bytes(uint32_t* words)
{
    return reinterpret_cast<uint8_t*>(words);
}

// The key from the bytes that the format check read: the file is not
// opened a second time, so it cannot have become another.
Pkey ReadPrivateKey(const KeyText& text, bool& askedForPassPhrase)
{
    askedForPassPhrase = false;
    Bio bio(BIO_new_mem_buf(text.Data(), static_cast<int>(text.Size())));
    if (!bio) {
        return nullptr;
    }
    return Pkey(PEM_read_bio_PrivateKey(bio.get(), nullptr, NoPassPhrase, &askedForPassPhrase));
}

// The key file open for reading, or null after a message.
FILE* OpenKeyFile(const std::wstring& path)
{
    // A FIFO would block the run and a device never ends: the open refuses
    // both, and the message then says why.
    FILE* file = platform::OpenRegularFile(path);
    if (file) {
        return file;
    }
    if (platform::Exists(path) && !platform::IsRegularFile(path)) {
        platform::Print(L"private key file %s is not a regular file.\n\n", path);
    } else {
        platform::Print(L"Open file %s failed.\n\n", path);
    }
    return nullptr;
}

// The whole key file, at most the text limit: a larger one is refused as
// the layout file is, unread when it is already larger, and the reading
// stops past the limit as the file may grow meanwhile. False after a
// message.
bool ReadKeyFile(const std::wstring& path, KeyText& text)
{
    const platform::OpenedFile file(OpenKeyFile(path));
    if (!file.Get()) {
        return false;
    }
    uint64_t size = 0;
    if (!platform::GetStreamEnd(file.Get(), size) || !platform::SeekStream(file.Get(), 0)) {
        platform::Print(L"Open file %s failed.\n\n", path);
        return false;
    }
    bool tooLarge = size > platform::kMaxTextFileBytes;
    if (!tooLarge) {
        text.Reserve(static_cast<size_t>(size));
    }
    char piece[64 * 1024];
    size_t got = 0;
    while (!tooLarge && (got = std::fread(piece, 1, sizeof piece, file.Get())) > 0) {
        tooLarge = got > platform::kMaxTextFileBytes - text.Size();
        if (!tooLarge) {
            text.Append(piece, got);
        }
    }
    OPENSSL_cleanse(piece, sizeof piece);
    if (tooLarge) {
        platform::Print(L"%s\n\n", platform::TooLargeFileText(path));
        return false;
    }
    if (std::ferror(file.Get())) {
        platform::Print(L"Open file %s failed.\n\n", path);
        return false;
    }
    return true;
}

// Whether the bytes hold both marker texts of one form; otherwise a
// message says what the file holds instead. NUL bytes are ordinary bytes.
bool CheckMarkers(const std::wstring& path, const KeyText& text)
{
    for (const KeyForm& form : kKeyForms) {
        if (text.Contains(form.begin) && text.Contains(form.end)) {
            return true;
        }
    }
    if (text.Contains(kEncryptedKeyBegin)) {
        ReportPassPhrase(path);
        return false;
    }
    for (const OtherKey& other : kOtherKeys) {
        if (text.Contains(other.begin)) {
            ReportOtherKind(path, other.kind);
            return false;
        }
    }
    platform::Print(L"private key file format error.\n\n");
    return false;
}

Bn GetNumber(const EVP_PKEY* key, const char* name)
{
    BIGNUM* bn = nullptr;
    if (EVP_PKEY_get_bn_param(key, name, &bn) != 1) {
        BN_clear_free(bn);
        return nullptr;
    }
    return Bn(bn);
}

// DER DigestInfo headers that precede the hash in a PKCS #1 v1.5
// signature; RFC 8017 lists them in section 9.2, note 1.
const uint8_t kSha1Prefix[] = {0x30, 0x21, 0x30, 0x09, 0x06, 0x05, 0x2b, 0x0e,
                               0x03, 0x02, 0x1a, 0x05, 0x00, 0x04, 0x14};
const uint8_t kSha256Prefix[] = {0x30, 0x31, 0x30, 0x0d, 0x06, 0x09, 0x60, 0x86, 0x48, 0x01,
                                 0x65, 0x03, 0x04, 0x02, 0x01, 0x05, 0x00, 0x04, 0x20};

struct DigestScheme {
    const wchar_t* name;
    const EVP_MD* (*md)();
    const uint8_t* prefix;
    size_t prefixLength;
};

const DigestScheme kSchemes[] = {
    {L"SHA-160", EVP_sha1, kSha1Prefix, sizeof(kSha1Prefix)},
    {L"SHA-256", EVP_sha256, kSha256Prefix, sizeof(kSha256Prefix)},
};

struct MdCtxFree {
    void operator()(EVP_MD_CTX* ctx) const { EVP_MD_CTX_free(ctx); }
};
using MdCtx = std::unique_ptr<EVP_MD_CTX, MdCtxFree>;

// The digest takes a large package in pieces of this size, so that a
// stopped run ends within a fraction of a second.
constexpr uint32_t kDigestPiece = 4u << 20;

// The digest of length bytes of data into digest; false when the library
// fails or the run is asked to stop between two pieces.
bool DigestInPieces(const EVP_MD* md, const uint8_t* data, uint32_t length, uint8_t* digest, unsigned int& got)
{
    const MdCtx ctx(EVP_MD_CTX_new());
    if (!ctx || EVP_DigestInit_ex(ctx.get(), md, nullptr) != 1) {
        return false;
    }
    for (uint32_t done = 0; done < length;) {
        // Between pieces only: data of one piece, as the key's trial before
        // a build signs, are digested whole.
        if (done != 0 && platform::StopRequested()) {
            return false;
        }
        const uint32_t piece = std::min(length - done, kDigestPiece);
        if (EVP_DigestUpdate(ctx.get(), data + done, piece) != 1) {
            return false;
        }
        done += piece;
    }
    return EVP_DigestFinal_ex(ctx.get(), digest, &got) == 1;
}

// PKCS #1 v1.5 asks for at least eight bytes of 0xFF padding.
constexpr int kMinPadding = 8;

// EM^d mod n into signature, k bytes least significant first. EM is
// big-endian, the key's numbers little-endian.
bool PrivateKeyOperation(const std::vector<uint8_t>& em, const uint8_t* privateExponent, const uint8_t* modulus,
                         int keyBytes, uint8_t* signature)
{
    const BnCtx ctx(BN_CTX_new());
    const Bn n(BN_lebin2bn(modulus, keyBytes, nullptr));
    const Bn d(BN_lebin2bn(privateExponent, keyBytes, nullptr));
    const Bn m(BN_bin2bn(em.data(), keyBytes, nullptr));
    const Bn s(BN_new());
    const Mont mont(BN_MONT_CTX_new());
    if (!ctx || !n || !d || !m || !s || !mont) {
        return false;
    }
    // Montgomery arithmetic needs an odd modulus; zero and even ones are
    // not RSA moduli at all.
    if (BN_is_zero(n.get()) || !BN_is_odd(n.get())) {
        platform::Print(L"RSA modulus is not valid\n");
        return false;
    }
    // EM^d mod n of a larger EM would not give back EM on verification.
    if (BN_cmp(m.get(), n.get()) >= 0) {
        platform::Print(L"RSA modulus is too small for the encoded message\n");
        return false;
    }
    BN_set_flags(d.get(), BN_FLG_CONSTTIME);
    if (BN_MONT_CTX_set(mont.get(), n.get(), ctx.get()) != 1 ||
        BN_mod_exp_mont_consttime(s.get(), m.get(), d.get(), n.get(), ctx.get(), mont.get()) != 1) {
        return false;
    }
    // Padded to k bytes: a signature with leading zero bytes keeps them.
    return BN_bn2lebinpad(s.get(), signature, keyBytes) == keyBytes;
}

}  // namespace

CRsaKeyFile::CRsaKeyFile(const std::wstring& path) : m_Path(path) {}

CRsaKeyFile::~CRsaKeyFile()
{
    Clear();
}

void CRsaKeyFile::Clear()
{
    m_KeyLength = 0;
    OPENSSL_cleanse(m_E, sizeof(m_E));
    OPENSSL_cleanse(m_D, sizeof(m_D));
    OPENSSL_cleanse(m_N, sizeof(m_N));
}

bool CRsaKeyFile::CheckFormat()
{
    KeyText text;
    return ReadKeyFile(m_Path, text) && CheckMarkers(m_Path, text);
}

bool CRsaKeyFile::Load()
{
    Clear();
    KeyText text;
    if (!ReadKeyFile(m_Path, text) || !CheckMarkers(m_Path, text)) {
        return false;
    }
    bool loaded = false;
    bool askedForPassPhrase = false;
    const Pkey key = ReadPrivateKey(text, askedForPassPhrase);
    if (askedForPassPhrase) {
        ReportPassPhrase(m_Path);
    } else if (!key) {
        platform::Print(L"Load private key file %s failed.\n\n", m_Path);
    } else if (EVP_PKEY_is_a(key.get(), "RSA") != 1) {
        const char* kind = EVP_PKEY_get0_type_name(key.get());
        ReportOtherKind(m_Path, platform::DecodeText(kind ? kind : "unknown"));
    } else {
        const Bn n = GetNumber(key.get(), OSSL_PKEY_PARAM_RSA_N);
        const Bn e = GetNumber(key.get(), OSSL_PKEY_PARAM_RSA_E);
        const Bn d = GetNumber(key.get(), OSSL_PKEY_PARAM_RSA_D);
        const int keyBytes = EVP_PKEY_get_size(key.get());
        if (n && BN_num_bits(n.get()) > kMaxBytes * 8) {
            platform::Print(L"private key is larger than %d bits.\n\n", kMaxBytes * 8);
        } else if (!n || !e || !d || keyBytes <= 0 || keyBytes > kMaxBytes || BN_num_bytes(n.get()) != keyBytes ||
                   BN_num_bytes(e.get()) > keyBytes || BN_num_bytes(d.get()) > keyBytes) {
            // The accessors hand out k bytes of each number: a longer
            // exponent would reach the signer cut short.
            platform::Print(L"Load private key file %s failed.\n\n", m_Path);
        } else if (BN_bn2lebinpad(e.get(), Bytes(m_E), kMaxBytes) == kMaxBytes &&
                   BN_bn2lebinpad(d.get(), Bytes(m_D), kMaxBytes) == kMaxBytes &&
                   BN_bn2lebinpad(n.get(), Bytes(m_N), kMaxBytes) == kMaxBytes) {
            m_KeyLength = keyBytes;
            loaded = true;
        } else {
            platform::Print(L"Load private key file %s failed.\n\n", m_Path);
        }
    }
    if (!loaded) {
        Clear();
    }
    // The reader may leave notes behind even when it succeeds.
    ERR_clear_error();
    return loaded;
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

bool SignPackage(const uint8_t* data, uint32_t dataLength, uint8_t* signature, uint32_t* signatureLength,
                 const std::wstring& hashName, const uint8_t* privateExponent, const uint8_t*,
                 const uint8_t* modulus, int keyBytes)
{
    const DigestScheme* scheme = nullptr;
    for (const DigestScheme& candidate : kSchemes) {
        if (hashName == candidate.name) {
            scheme = &candidate;
        }
    }
    if (!scheme) {
        platform::Print(L"unsupported hash algorithm %s\n", hashName);
        return false;
    }
    const EVP_MD* md = scheme->md();
    const int digestLength = md ? EVP_MD_get_size(md) : -1;
    if (digestLength <= 0) {
        return false;
    }
    const int padding = keyBytes - digestLength - static_cast<int>(scheme->prefixLength) - 3;
    if (padding < 0) {
        platform::Print(L"paddingsize is smaller than 0\n");
        return false;
    }
    if (padding < kMinPadding) {
        platform::Print(L"paddingsize %d is smaller than %d\n", padding, kMinPadding);
        return false;
    }
    if (keyBytes > CRsaKeyFile::kMaxBytes) {
        platform::Print(L"key of %d bytes is longer than %d bytes\n", keyBytes, CRsaKeyFile::kMaxBytes);
        return false;
    }
    if (!signature || !signatureLength || !privateExponent || !modulus || (!data && dataLength > 0)) {
        return false;
    }

    // EM = 00 01 FF..FF 00 || DigestInfo prefix || digest.
    std::vector<uint8_t> em(static_cast<size_t>(keyBytes), 0xFF);
    em[0] = 0x00;
    em[1] = 0x01;
    const size_t prefixAt = 2 + static_cast<size_t>(padding) + 1;
    em[prefixAt - 1] = 0x00;
    std::memcpy(em.data() + prefixAt, scheme->prefix, scheme->prefixLength);
    unsigned int got = 0;
    if (!DigestInPieces(md, data, dataLength, em.data() + prefixAt + scheme->prefixLength, got) ||
        got != static_cast<unsigned int>(digestLength)) {
        ERR_clear_error();
        return false;
    }
    if (!PrivateKeyOperation(em, privateExponent, modulus, keyBytes, signature)) {
        ERR_clear_error();
        return false;
    }
    *signatureLength = static_cast<uint32_t>(keyBytes);
    return true;
}
