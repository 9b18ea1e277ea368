#pragma once

#include "zorfoundation_export.h"

#include <QByteArray>

// AES in ECB mode with PKCS#7 padding and standard Base64 text, as the advisory service's
// Java side expects ("AES/ECB/PKCS5Padding"). The key length selects AES-128, -192 or -256.
class ZORFOUNDATION_EXPORT AesModule
{
public:
    // Encrypts data; out receives the Base64 text. False (out empty) for a key that is not
    // 16, 24 or 32 bytes long, or when encryption fails.
    static bool encrpty_ecb_Java_base64(QByteArray& out, const QByteArray& data,
                                        const QByteArray& key);
    // The reverse: out receives the plain bytes. False for bad Base64, a wrong key or padding.
    static bool decrypt_ecb_Java_base64(QByteArray& out, const QByteArray& base64,
                                        const QByteArray& key);
};
