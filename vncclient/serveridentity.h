#ifndef SERVERIDENTITY_H
#define SERVERIDENTITY_H

// How a connected server proved who it is.
enum class ServerIdentity {
    Unproven,            // no certificate checked
    VerifiedByAuthority, // a certificate an authority signed, for the host named
    TrustedByUser,       // a certificate the user chose to trust
};

#endif
