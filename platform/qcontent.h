#ifndef QCONTENT_H
#define QCONTENT_H

// The document system: only the choice of how the process talks to it.
// The type can be chosen until the document system is first connected to;
// after that it is fixed for the life of the process.
class QContent
{
public:
    enum DocumentSystemConnection {
        DocumentSystemDirect = 0,
        DocumentSystemClient = 1
    };

    // False when the type could not be changed (already connected with
    // another type).
    static bool setDocumentSystemConnection(DocumentSystemConnection connection);
    static DocumentSystemConnection documentSystemConnection();

    // Opens the document system with the current type; from then on the
    // type stays as it is.
    static void connectDocumentSystem();
    static bool isDocumentSystemConnected();
};

#endif
