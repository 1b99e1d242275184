// Fixed-size binary images of the key descriptors: a 596-byte record for a
// single key and an 812-byte record for a signature, which carries its key
// together with the hash settings. Each is a plain byte array holding 32-bit
// words, least significant byte first; they live only in memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "common/ByteOrder.h"

constexpr size_t kRecordWordBytes = 4;
// Room per number: 2048 bits for RSA, 544 bits per ECDSA component.
constexpr size_t kRsaAreaWords = 64;
constexpr size_t kEcdsaAreaWords = 17;

template <size_t Size>
struct WordRecord {
    static constexpr size_t kBytes = Size;

    uint8_t bytes[Size] = {};

    void Clear() { std::memset(bytes, 0, Size); }
    uint32_t Word(size_t offset) const { return LoadLe32(bytes + offset); }
    void SetWord(size_t offset, uint32_t value) { StoreLe32(bytes + offset, value); }
    void StoreWords(size_t offset, const uint32_t* words, size_t count)
    {
        for (size_t i = 0; i < count; ++i) {
            SetWord(offset + kRecordWordBytes * i, words[i]);
        }
    }
    void LoadWords(size_t offset, uint32_t* words, size_t count) const
    {
        for (size_t i = 0; i < count; ++i) {
            words[i] = Word(offset + kRecordWordBytes * i);
        }
    }
};

// Byte offsets of the key record. An RSA key keeps its exponent and modulus
// in two 64-word areas; an ECDSA key keeps X and Y in the first area, 17
// words each, and leaves the rest zero.
struct TimKeyRecord : WordRecord<596> {
    static constexpr size_t kKeyId = 0;
    static constexpr size_t kHashSize = 4;
    static constexpr size_t kKeySize = 8;
    static constexpr size_t kPublicKeySize = 12;
    static constexpr size_t kScheme = 16;  // bit 31: the key's scheme flag
    static constexpr size_t kExponent = 20;
    static constexpr size_t kCompX = 20;
    static constexpr size_t kCompY = 88;
    static constexpr size_t kModulus = 276;
    static constexpr size_t kReserved = 532;
};

static_assert(TimKeyRecord::kHashSize == TimKeyRecord::kKeyId + kRecordWordBytes, "hash size");
static_assert(TimKeyRecord::kKeySize == TimKeyRecord::kHashSize + kRecordWordBytes, "key size");
static_assert(TimKeyRecord::kPublicKeySize == TimKeyRecord::kKeySize + kRecordWordBytes, "public key size");
static_assert(TimKeyRecord::kScheme == TimKeyRecord::kPublicKeySize + kRecordWordBytes, "scheme");
static_assert(TimKeyRecord::kExponent == TimKeyRecord::kScheme + kRecordWordBytes, "exponent");
static_assert(TimKeyRecord::kCompX == TimKeyRecord::kExponent, "X");
static_assert(TimKeyRecord::kCompY == TimKeyRecord::kCompX + kEcdsaAreaWords * kRecordWordBytes, "Y");
static_assert(TimKeyRecord::kModulus == TimKeyRecord::kExponent + kRsaAreaWords * kRecordWordBytes, "modulus");
static_assert(TimKeyRecord::kReserved == TimKeyRecord::kModulus + kRsaAreaWords * kRecordWordBytes, "reserved");
static_assert(TimKeyRecord::kBytes == TimKeyRecord::kReserved + 16 * kRecordWordBytes, "key record size");
static_assert(sizeof(TimKeyRecord) == TimKeyRecord::kBytes, "key record without padding");

// Byte offsets of the signature record. The further areas (one for RSA,
// two for ECDSA) belong to the signature value and stay zero.
struct TimSignatureRecord : WordRecord<812> {
    static constexpr size_t kScheme = 0;  // without the scheme flag
    static constexpr size_t kHashSize = 4;
    static constexpr size_t kKeySize = 8;
    static constexpr size_t kReserved = 12;
    static constexpr size_t kExponent = 44;
    static constexpr size_t kCompX = 44;
    static constexpr size_t kCompY = 112;
    static constexpr size_t kEcdsaR = 180;
    static constexpr size_t kEcdsaS = 248;
    static constexpr size_t kEcdsaEnd = 316;
    static constexpr size_t kModulus = 300;
    static constexpr size_t kRsaSignature = 556;
};

static_assert(TimSignatureRecord::kHashSize == TimSignatureRecord::kScheme + kRecordWordBytes, "hash size");
static_assert(TimSignatureRecord::kKeySize == TimSignatureRecord::kHashSize + kRecordWordBytes, "key size");
static_assert(TimSignatureRecord::kReserved == TimSignatureRecord::kKeySize + kRecordWordBytes, "reserved");
static_assert(TimSignatureRecord::kExponent == TimSignatureRecord::kReserved + 8 * kRecordWordBytes, "exponent");
static_assert(TimSignatureRecord::kCompX == TimSignatureRecord::kExponent, "X");
static_assert(TimSignatureRecord::kCompY == TimSignatureRecord::kCompX + kEcdsaAreaWords * kRecordWordBytes, "Y");
static_assert(TimSignatureRecord::kEcdsaR == TimSignatureRecord::kCompY + kEcdsaAreaWords * kRecordWordBytes, "R");
static_assert(TimSignatureRecord::kEcdsaS == TimSignatureRecord::kEcdsaR + kEcdsaAreaWords * kRecordWordBytes, "S");
static_assert(TimSignatureRecord::kEcdsaEnd == TimSignatureRecord::kEcdsaS + kEcdsaAreaWords * kRecordWordBytes,
              "end of the ECDSA areas");
static_assert(TimSignatureRecord::kModulus == TimSignatureRecord::kExponent + kRsaAreaWords * kRecordWordBytes,
              "modulus");
static_assert(TimSignatureRecord::kRsaSignature ==
                  TimSignatureRecord::kModulus + kRsaAreaWords * kRecordWordBytes,
              "RSA signature");
static_assert(TimSignatureRecord::kBytes ==
                  TimSignatureRecord::kRsaSignature + kRsaAreaWords * kRecordWordBytes,
              "signature record size");
static_assert(sizeof(TimSignatureRecord) == TimSignatureRecord::kBytes, "signature record without padding");
