// AES in ECB mode with PKCS#7 padding and Base64 text, as the advisory service's Java side
// decrypts it.

#include "AesModule.h"

#include <QTest>

namespace {

const QByteArray kKey128 = QByteArrayLiteral("quorlendtavishmo");
const QByteArray kKey192 = QByteArrayLiteral("0123456789abcdefghijklmn");
const QByteArray kKey256 = QByteArrayLiteral("0123456789abcdefghijklmnopqrstuv");

} // namespace

class TestAes : public QObject
{
    Q_OBJECT

private slots:
    void knownVector();
    void roundTrip_data();
    void roundTrip();
    void badKeys_data();
    void badKeys();
    void badCiphertext_data();
    void badCiphertext();
};

void TestAes::knownVector()
{
    QByteArray out = "stale";
    QVERIFY(AesModule::encrpty_ecb_Java_base64(out, "merchant_pin_01", kKey128));
    QCOMPARE(out, QByteArrayLiteral("PtMYNKkIPAlxf2tC9+bx2g=="));
}

void TestAes::roundTrip_data()
{
    QTest::addColumn<QByteArray>("plain");
    QTest::addColumn<QByteArray>("key");
    QTest::addColumn<int>("cipherBytes");

    QTest::newRow("empty: one block of padding") << QByteArray() << kKey128 << 16;
    QTest::newRow("15 bytes") << QByteArray(15, 'a') << kKey128 << 16;
    QTest::newRow("16 bytes: a full block of padding") << QByteArray(16, 'b') << kKey128 << 32;
    QTest::newRow("17 bytes") << QByteArray(17, 'c') << kKey128 << 32;
    QTest::newRow("UTF-8 text") << QStringLiteral("Händler-PIN \u4e2d\u6587 ✓").toUtf8() << kKey128
                                << 32;
    QTest::newRow("binary with NUL bytes") << QByteArray("\0\x01\xff\0", 4) << kKey128 << 16;
    QTest::newRow("AES-192") << QByteArray("merchant_pin_01") << kKey192 << 16;
    QTest::newRow("AES-256") << QByteArray(40, 'z') << kKey256 << 48;
}

void TestAes::roundTrip()
{
    QFETCH(QByteArray, plain);
    QFETCH(QByteArray, key);
    QFETCH(int, cipherBytes);

    QByteArray text;
    QVERIFY(AesModule::encrpty_ecb_Java_base64(text, plain, key));
    QCOMPARE(QByteArray::fromBase64(text).size(), cipherBytes);
    // Canonical standard Base64: padded, no line breaks, decodes and re-encodes unchanged.
    QCOMPARE(QByteArray::fromBase64(text).toBase64(), text);

    // ECB without salt: the same input always gives the same text.
    QByteArray again;
    QVERIFY(AesModule::encrpty_ecb_Java_base64(again, plain, key));
    QCOMPARE(again, text);

    QByteArray back = "stale";
    QVERIFY(AesModule::decrypt_ecb_Java_base64(back, text, key));
    QCOMPARE(back, plain);
}

void TestAes::badKeys_data()
{
    QTest::addColumn<QByteArray>("key");

    QTest::newRow("empty") << QByteArray();
    QTest::newRow("15 bytes") << QByteArray(15, 'k');
    QTest::newRow("17 bytes") << QByteArray(17, 'k');
    QTest::newRow("31 bytes") << QByteArray(31, 'k');
    QTest::newRow("64 bytes") << QByteArray(64, 'k');
}

void TestAes::badKeys()
{
    QFETCH(QByteArray, key);

    QByteArray out = "stale";
    QVERIFY(!AesModule::encrpty_ecb_Java_base64(out, "merchant_pin_01", key));
    QVERIFY(out.isEmpty());

    out = "stale";
    QVERIFY(!AesModule::decrypt_ecb_Java_base64(out, "PtMYNKkIPAlxf2tC9+bx2g==", key));
    QVERIFY(out.isEmpty());
}

void TestAes::badCiphertext_data()
{
    QTest::addColumn<QByteArray>("base64");
    QTest::addColumn<QByteArray>("key");

    QTest::newRow("empty") << QByteArray() << kKey128;
    QTest::newRow("not Base64") << QByteArray("PtMY*KkIPAlx") << kKey128;
    QTest::newRow("not whole blocks") << QByteArray(10, 'x').toBase64() << kKey128;
    // Decrypting with another key leaves garbage whose padding does not check out.
    QTest::newRow("wrong key") << QByteArray("PtMYNKkIPAlxf2tC9+bx2g==")
                               << QByteArray("quorlendtavishmX");
}

void TestAes::badCiphertext()
{
    QFETCH(QByteArray, base64);
    QFETCH(QByteArray, key);

    QByteArray out = "stale";
    QVERIFY(!AesModule::decrypt_ecb_Java_base64(out, base64, key));
    QVERIFY(out.isEmpty());
}

QTEST_APPLESS_MAIN(TestAes)
#include "tst_aes.moc"
