// AES in ECB mode with PKCS#7 padding and Base64 text, as the advisory service's Java side
// decrypts it.

#include "AesModule.h"

#include <QTest>

namespace {

const QByteArray kKey128 = QByteArrayLiteral("quorlendtavishmo");
// The expectations below were made independently of this code with
//   printf '<plain>' | openssl enc -aes-128-ecb -K 71756f726c656e647461766973686d6f | base64 -w0
// (the key in hex). Only a text of two or more blocks tells ECB from a chained mode.
const QByteArray kVector = QByteArrayLiteral("PtMYNKkIPAlxf2tC9+bx2g==");

} // namespace

class TestAes : public QObject
{
    Q_OBJECT

private slots:
    void knownVector_data();
    void knownVector();
    void roundTrip_data();
    void roundTrip();
    void refused_data();
    void refused();
};

void TestAes::knownVector_data()
{
    QTest::addColumn<QByteArray>("plain");
    QTest::addColumn<QByteArray>("base64");

    QTest::newRow("15 bytes: one block") << QByteArray("merchant_pin_01") << kVector;
    QTest::newRow("16 bytes: a block and a block of padding")
        << QByteArray("0123456789abcdef")
        << QByteArray("LKqwG1BAMN89m30/O0Re+ltqk8/aNtIHdjuk1LnnU88=");
    QTest::newRow("six Chinese characters: 18 bytes of UTF-8, two blocks")
        << QStringLiteral("商户密码测试").toUtf8()
        << QByteArray("4ez9GT1Y61ItHWzrU1DJRZtgML80Kd2gVyC/sJJlQC4=");
    QTest::newRow("40 bytes: three blocks")
        << QByteArray("merchant_pin_01 merchant_pin_02 and more")
        << QByteArray("V+VhQOxaQMykMwS74gjf+6sPmJI6Uiz6Ez7dv7W5vWTXZhQaXPy8r6euN6ajP3nr");
}

void TestAes::knownVector()
{
    QFETCH(QByteArray, plain);
    QFETCH(QByteArray, base64);

    QByteArray out = "stale";
    QVERIFY(AesModule::encrpty_ecb_Java_base64(out, plain, kKey128));
    QCOMPARE(out, base64);
    QByteArray back;
    QVERIFY(AesModule::decrypt_ecb_Java_base64(back, base64, kKey128));
    QCOMPARE(back, plain);
}

void TestAes::roundTrip_data()
{
    QTest::addColumn<QByteArray>("plain");
    QTest::addColumn<QByteArray>("key");
    QTest::addColumn<int>("cipherBytes");

    QTest::newRow("empty: one block of padding") << QByteArray() << kKey128 << 16;
    QTest::newRow("16 bytes: a full block of padding") << QByteArray(16, 'b') << kKey128 << 32;
    QTest::newRow("binary with NUL bytes") << QByteArray("\0\x01\xff\0", 4) << kKey128 << 16;
    QTest::newRow("AES-192") << QByteArray(17, 'c') << QByteArray(24, 'k') << 32;
    QTest::newRow("AES-256") << QByteArray(40, 'z') << QByteArray(32, 'k') << 48;
}

void TestAes::roundTrip()
{
    QFETCH(QByteArray, plain);
    QFETCH(QByteArray, key);
    QFETCH(int, cipherBytes);

    QByteArray text;
    QVERIFY(AesModule::encrpty_ecb_Java_base64(text, plain, key));
    QCOMPARE(QByteArray::fromBase64(text).size(), cipherBytes);
    QByteArray back = "stale";
    QVERIFY(AesModule::decrypt_ecb_Java_base64(back, text, key));
    QCOMPARE(back, plain);
}

void TestAes::refused_data()
{
    QTest::addColumn<QByteArray>("key");
    QTest::addColumn<QByteArray>("base64");
    QTest::addColumn<bool>("keyUsable");

    QTest::newRow("empty key") << QByteArray() << kVector << false;
    QTest::newRow("15-byte key") << QByteArray(15, 'k') << kVector << false;
    QTest::newRow("17-byte key") << QByteArray(17, 'k') << kVector << false;
    QTest::newRow("empty ciphertext") << kKey128 << QByteArray() << true;
    QTest::newRow("not Base64") << kKey128 << QByteArray("PtMY*KkIPAlx") << true;
    QTest::newRow("not whole blocks") << kKey128 << QByteArray(10, 'x').toBase64() << true;
    // Another key leaves garbage whose padding does not check out.
    QTest::newRow("wrong key") << QByteArray("quorlendtavishmX") << kVector << true;
}

void TestAes::refused()
{
    QFETCH(QByteArray, key);
    QFETCH(QByteArray, base64);
    QFETCH(bool, keyUsable);

    QByteArray out = "stale";
    QVERIFY(!AesModule::decrypt_ecb_Java_base64(out, base64, key));
    QVERIFY(out.isEmpty());

    out = "stale";
    QCOMPARE(AesModule::encrpty_ecb_Java_base64(out, "merchant_pin_01", key), keyUsable);
    QCOMPARE(out.isEmpty(), !keyUsable);
}

QTEST_APPLESS_MAIN(TestAes)
#include "tst_aes.moc"
