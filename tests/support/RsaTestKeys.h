// RSA keys for the signing tests, made at test time with OpenSSL, and
// OpenSSL's own verification of a signature.
#pragma once

#include <openssl/bn.h>
#include <openssl/evp.h>
#include <openssl/param_build.h>

#include <memory>
#include <string>
#include <type_traits>
#include <vector>

namespace testsupport {

template <class T, void (*Free)(T*)>
using Owned = std::unique_ptr<T, std::integral_constant<void (*)(T*), Free>>;
using Pkey = Owned<EVP_PKEY, EVP_PKEY_free>;
using PkeyCtx = Owned<EVP_PKEY_CTX, EVP_PKEY_CTX_free>;
using Bn = Owned<BIGNUM, BN_free>;
using BnCtx = Owned<BN_CTX, BN_CTX_free>;
using Bio = Owned<BIO, BIO_free_all>;
using ParamBld = Owned<OSSL_PARAM_BLD, OSSL_PARAM_BLD_free>;
using Params = Owned<OSSL_PARAM, OSSL_PARAM_free>;

// Throws, after printing OpenSSL's errors, when ok is false.
void Require(bool ok, const char* what);

// One key of each kind per test process: an RSA key of that many bits
// ("1024"), "EC" for a P-256 key or "ED25519". The process keeps it.
EVP_PKEY* TestKey(const std::string& kind);
EVP_PKEY* RsaKey(int bits);

enum class PemForm { kTraditional, kPkcs8, kEncrypted, kPublic };
// The key file: traditional ("BEGIN RSA PRIVATE KEY", as
// "openssl genrsa -traditional" writes it), PKCS #8, traditional and
// encrypted with the pass phrase "x", or only the public key.
std::string Pem(EVP_PKEY* key, PemForm form);

std::vector<uint8_t> Digest(const std::string& data, const EVP_MD* md);
// OpenSSL's RSASSA-PKCS1-v1_5 verification of a big-endian signature.
bool Verifies(EVP_PKEY* key, const std::string& data, const std::vector<uint8_t>& signature, const EVP_MD* md);

}  // namespace testsupport
