#include "support/RsaTestKeys.h"

#include <openssl/core_names.h>
#include <openssl/crypto.h>
#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/rsa.h>

#include <cstdio>
#include <map>
#include <stdexcept>

namespace testsupport {

void Require(bool ok, const char* what)
{
    if (!ok) {
        ERR_print_errors_fp(stderr);
        throw std::runtime_error(what);
    }
}

// OpenSSL refuses to generate RSA keys under 512 bits; smaller ones are put
// together from two primes.
static Pkey KeyFromPrimes(int bits)
{
    const BnCtx ctx(BN_CTX_new());
    const Bn p(BN_new()), q(BN_new()), n(BN_new()), e(BN_new()), d(BN_new()), p1(BN_new()), q1(BN_new()),
        phi(BN_new()), dp(BN_new()), dq(BN_new()), qinv(BN_new());
    Require(BN_set_word(e.get(), 65537) == 1, "BN_set_word");
    for (;;) {
        Require(BN_generate_prime_ex(p.get(), bits - bits / 2, 0, nullptr, nullptr, nullptr) == 1, "prime");
        Require(BN_generate_prime_ex(q.get(), bits / 2, 0, nullptr, nullptr, nullptr) == 1, "prime");
        Require(BN_mul(n.get(), p.get(), q.get(), ctx.get()) == 1, "BN_mul");
        if (BN_cmp(p.get(), q.get()) == 0 || BN_num_bits(n.get()) != bits) continue;
        Require(BN_sub(p1.get(), p.get(), BN_value_one()) == 1 && BN_sub(q1.get(), q.get(), BN_value_one()) == 1 &&
                    BN_mul(phi.get(), p1.get(), q1.get(), ctx.get()) == 1,
                "phi");
        if (!BN_mod_inverse(d.get(), e.get(), phi.get(), ctx.get())) {
            ERR_clear_error();
            continue;
        }
        break;
    }
    Require(BN_mod(dp.get(), d.get(), p1.get(), ctx.get()) == 1 && BN_mod(dq.get(), d.get(), q1.get(), ctx.get()) == 1 &&
                BN_mod_inverse(qinv.get(), q.get(), p.get(), ctx.get()) != nullptr,
            "CRT numbers");
    const ParamBld bld(OSSL_PARAM_BLD_new());
    Require(bld && OSSL_PARAM_BLD_push_BN(bld.get(), OSSL_PKEY_PARAM_RSA_N, n.get()) == 1 &&
                OSSL_PARAM_BLD_push_BN(bld.get(), OSSL_PKEY_PARAM_RSA_E, e.get()) == 1 &&
                OSSL_PARAM_BLD_push_BN(bld.get(), OSSL_PKEY_PARAM_RSA_D, d.get()) == 1 &&
                OSSL_PARAM_BLD_push_BN(bld.get(), OSSL_PKEY_PARAM_RSA_FACTOR1, p.get()) == 1 &&
                OSSL_PARAM_BLD_push_BN(bld.get(), OSSL_PKEY_PARAM_RSA_FACTOR2, q.get()) == 1 &&
                OSSL_PARAM_BLD_push_BN(bld.get(), OSSL_PKEY_PARAM_RSA_EXPONENT1, dp.get()) == 1 &&
                OSSL_PARAM_BLD_push_BN(bld.get(), OSSL_PKEY_PARAM_RSA_EXPONENT2, dq.get()) == 1 &&
                OSSL_PARAM_BLD_push_BN(bld.get(), OSSL_PKEY_PARAM_RSA_COEFFICIENT1, qinv.get()) == 1,
            "key parameters");
    const Params params(OSSL_PARAM_BLD_to_param(bld.get()));
    const PkeyCtx pctx(EVP_PKEY_CTX_new_from_name(nullptr, "RSA", nullptr));
    EVP_PKEY* key = nullptr;
    Require(params && pctx && EVP_PKEY_fromdata_init(pctx.get()) == 1 &&
                EVP_PKEY_fromdata(pctx.get(), &key, EVP_PKEY_KEYPAIR, params.get()) == 1,
            "EVP_PKEY_fromdata");
    return Pkey(key);
}

static Pkey GenerateKey(int bits)
{
    if (bits < 512) {
        return KeyFromPrimes(bits);
    }
    Pkey key(EVP_PKEY_Q_keygen(nullptr, nullptr, "RSA", static_cast<size_t>(bits)));
    Require(key != nullptr, "RSA key generation");
    return key;
}

// Each key size is generated once per test process: the larger ones take a
// good part of a second.
EVP_PKEY* TestKey(const std::string& kind)
{
    struct Cache {
        // OpenSSL installs its exit handler on first use; starting it here,
        // before the cache exists, lets the cache go first at exit.
        Cache() { OPENSSL_init_crypto(0, nullptr); }
        std::map<std::string, Pkey> keys;
    };
    static Cache cache;
    Pkey& key = cache.keys[kind];
    if (!key) {
        if (kind == "EC") {
            key.reset(EVP_PKEY_Q_keygen(nullptr, nullptr, "EC", "P-256"));
            Require(key != nullptr, "EC key generation");
        } else if (kind == "ED25519") {
            key.reset(EVP_PKEY_Q_keygen(nullptr, nullptr, "ED25519"));
            Require(key != nullptr, "Ed25519 key generation");
        } else {
            key = GenerateKey(std::stoi(kind));
        }
    }
    return key.get();
}

EVP_PKEY* RsaKey(int bits)
{
    return TestKey(std::to_string(bits));
}

std::string Pem(EVP_PKEY* key, PemForm form)
{
    const Bio bio(BIO_new(BIO_s_mem()));
    static unsigned char passPhrase[] = "x";
    int ok = 0;
    switch (form) {
    case PemForm::kTraditional:
        ok = PEM_write_bio_PrivateKey_traditional(bio.get(), key, nullptr, nullptr, 0, nullptr, nullptr);
        break;
    case PemForm::kPkcs8:
        ok = PEM_write_bio_PrivateKey(bio.get(), key, nullptr, nullptr, 0, nullptr, nullptr);
        break;
    case PemForm::kEncrypted:
        ok = PEM_write_bio_PrivateKey_traditional(bio.get(), key, EVP_aes_128_cbc(), passPhrase, 1, nullptr,
                                                  nullptr);
        break;
    case PemForm::kPublic:
        ok = PEM_write_bio_PUBKEY(bio.get(), key);
        break;
    }
    Require(ok == 1, "PEM write");
    char* data = nullptr;
    const long length = BIO_get_mem_data(bio.get(), &data);
    return std::string(data, static_cast<size_t>(length));
}

std::vector<uint8_t> Digest(const std::string& data, const EVP_MD* md)
{
    std::vector<uint8_t> digest(EVP_MAX_MD_SIZE);
    unsigned int length = 0;
    Require(EVP_Digest(data.data(), data.size(), digest.data(), &length, md, nullptr) == 1, "EVP_Digest");
    digest.resize(length);
    return digest;
}

// OpenSSL's RSASSA-PKCS1-v1_5 verification of a big-endian signature.
bool Verifies(EVP_PKEY* key, const std::string& data, const std::vector<uint8_t>& signature, const EVP_MD* md)
{
    const std::vector<uint8_t> digest = Digest(data, md);
    const PkeyCtx ctx(EVP_PKEY_CTX_new(key, nullptr));
    Require(ctx && EVP_PKEY_verify_init(ctx.get()) == 1 &&
                EVP_PKEY_CTX_set_rsa_padding(ctx.get(), RSA_PKCS1_PADDING) == 1 &&
                EVP_PKEY_CTX_set_signature_md(ctx.get(), md) == 1,
            "verify setup");
    const int result = EVP_PKEY_verify(ctx.get(), signature.data(), signature.size(), digest.data(), digest.size());
    ERR_clear_error();
    return result == 1;
}

}  // namespace testsupport
