#include "Password.h"

#include <QByteArray>
#include <QStringList>

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/rand.h>

namespace {

constexpr int kIterations = 200000;
constexpr int kSaltBytes = 16;
constexpr int kHashBytes = 32;
const QString kScheme = QStringLiteral("pbkdf2-sha256");

QByteArray Derive(const QString& password, const QByteArray& salt, int iterations)
{
    const QByteArray secret = password.toUtf8();
    QByteArray hash(kHashBytes, '\0');
    if (PKCS5_PBKDF2_HMAC(secret.constData(), int(secret.size()), reinterpret_cast<const unsigned char*>(salt.constData()),
                          int(salt.size()), iterations, EVP_sha256(), int(hash.size()),
                          reinterpret_cast<unsigned char*>(hash.data())) != 1)
        return {};
    return hash;
}

}  // namespace

QString HashPassword(const QString& password)
{
    QByteArray salt(kSaltBytes, '\0');
    if (RAND_bytes(reinterpret_cast<unsigned char*>(salt.data()), int(salt.size())) != 1)
        return {};
    const QByteArray hash = Derive(password, salt, kIterations);
    if (hash.isEmpty())
        return {};
    return QStringList{kScheme, QString::number(kIterations), QString::fromLatin1(salt.toHex()),
                       QString::fromLatin1(hash.toHex())}
        .join(u'$');
}

bool CheckPassword(const QString& password, const QString& stored)
{
    const QStringList parts = stored.split(u'$');
    if (parts.size() != 4 || parts[0] != kScheme)
        return false;
    bool ok = false;
    const int iterations = parts[1].toInt(&ok);
    const QByteArray salt = QByteArray::fromHex(parts[2].toLatin1());
    const QByteArray expected = QByteArray::fromHex(parts[3].toLatin1());
    // A stored text cannot make the check run for minutes or compare nothing.
    if (!ok || iterations < 1000 || iterations > 10'000'000 || salt.isEmpty() || expected.size() != kHashBytes)
        return false;
    const QByteArray hash = Derive(password, salt, iterations);
    return hash.size() == expected.size() && CRYPTO_memcmp(hash.constData(), expected.constData(), hash.size()) == 0;
}
