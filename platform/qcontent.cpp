#include "qcontent.h"

#include <atomic>

namespace {
std::atomic<int> connectionType{QContent::DocumentSystemDirect};
std::atomic<bool> connected{false};
}

bool QContent::setDocumentSystemConnection(DocumentSystemConnection connection)
{
    if (connected)
        return connectionType == connection;
    connectionType = connection;
    return true;
}

QContent::DocumentSystemConnection QContent::documentSystemConnection()
{
    return static_cast<DocumentSystemConnection>(connectionType.load());
}

void QContent::connectDocumentSystem()
{
    connected = true;
}

bool QContent::isDocumentSystemConnected()
{
    return connected;
}
