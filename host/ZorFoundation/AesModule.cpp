#include "AesModule.h"

#include <openssl/evp.h>

#include <memory>

namespace {

const EVP_CIPHER* CipherForKey(const QByteArray& key)
{
    switch (key.size()) {
    case 16:
        return EVP_aes_128_ecb();
    case 24:
        return EVP_aes_192_ecb();
    case 32:
        return EVP_aes_256_ecb();
    default:
        return nullptr;
    }
}

// One pass of EVP with PKCS#7 padding (the default) in the given direction.
bool RunCipher(QByteArray& out, const QByteArray& in, const QByteArray& key, bool encrypt)
{
    const EVP_CIPHER* cipher = CipherForKey(key);
    if (!cipher)
        return false;
    const std::unique_ptr<EVP_CIPHER_CTX, decltype(&EVP_CIPHER_CTX_free)> context(
        EVP_CIPHER_CTX_new(), &EVP_CIPHER_CTX_free);
    if (!context)
        return false;
    const auto* keyBytes = reinterpret_cast<const unsigned char*>(key.constData());
    if (EVP_CipherInit_ex(context.get(), cipher, nullptr, keyBytes, nullptr, encrypt ? 1 : 0) != 1)
        return false;

    // Padding adds at most one block.
    QByteArray result(in.size() + EVP_CIPHER_block_size(cipher), Qt::Uninitialized);
    auto* outBytes = reinterpret_cast<unsigned char*>(result.data());
    int written = 0;
    if (EVP_CipherUpdate(context.get(), outBytes, &written,
                         reinterpret_cast<const unsigned char*>(in.constData()), in.size()) != 1)
        return false;
    int finalWritten = 0;
    if (EVP_CipherFinal_ex(context.get(), outBytes + written, &finalWritten) != 1)
        return false;
    result.truncate(written + finalWritten);
    out = result;
    return true;
}

} // namespace

bool AesModule::encrpty_ecb_Java_base64(QByteArray& out, const QByteArray& data,
                                        const QByteArray& key)
{
    out.clear();
    QByteArray encrypted;
    if (!RunCipher(encrypted, data, key, true))
        return false;
    out = encrypted.toBase64();
    return true;
}

bool AesModule::decrypt_ecb_Java_base64(QByteArray& out, const QByteArray& base64,
                                        const QByteArray& key)
{
    out.clear();
    const auto decoded =
        QByteArray::fromBase64Encoding(base64, QByteArray::AbortOnBase64DecodingErrors);
    // Ciphertext always consists of whole blocks, at least one (the padding's).
    if (!decoded || decoded.decoded.isEmpty() || decoded.decoded.size() % 16 != 0)
        return false;
    return RunCipher(out, decoded.decoded, key, false);
}
