#include "ZekMessages.h"

#include <QCryptographicHash>
#include <QRandomGenerator>

ZekHeader MakeZekHeader(quint8 type, quint32 requestId, qint32 status)
{
    ZekHeader header{};
    std::memcpy(header.magic, ZEK_MAGIC, sizeof ZEK_MAGIC);
    header.version = ZEK_VERSION;
    header.type = type;
    header.request_id = requestId;
    header.status = status;
    return header;
}

QByteArray ZekPasswordProof(quint32 requestId, QByteArrayView password)
{
    QCryptographicHash hash(QCryptographicHash::Sha256);
    const quint32_le id(requestId);
    hash.addData(QByteArrayView(reinterpret_cast<const char *>(&id), sizeof id));
    hash.addData(password);
    return hash.result();
}

void WriteZekProof(char (&proof)[ZEK_PROOF_SIZE], quint32 requestId, QByteArrayView password)
{
    std::memcpy(proof, ZekPasswordProof(requestId, password).constData(), ZEK_PROOF_SIZE);
}

bool ZekProofMatches(const char (&proof)[ZEK_PROOF_SIZE], quint32 requestId, QByteArrayView password)
{
    return ZekPasswordProof(requestId, password) == QByteArrayView(proof, ZEK_PROOF_SIZE);
}

quint32 NewZekId()
{
    quint32 id = 0;
    while (id == 0)
        id = QRandomGenerator::system()->generate();
    return id;
}
