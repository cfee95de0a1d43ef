#include "session/CredentialStore.h"


void wipeBytes(QByteArray& bytes)
{
    if (bytes.isEmpty())
        return;
    volatile char* data = bytes.data();
    for (qsizetype index = 0; index < bytes.size(); ++index)
        data[index] = 0;
    bytes.clear();
}
