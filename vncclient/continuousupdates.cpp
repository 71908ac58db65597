#include "continuousupdates.h"

#include <cstring>
#include <mutex>

#include <gnutls/gnutls.h>
#include <sys/ioctl.h>

namespace
{
const char clientDataTag = 0;

int announced[] = {ContinuousUpdates::continuousUpdatesEncoding, ContinuousUpdates::fenceEncoding, 0};

void put16(uint8_t *at, unsigned value)
{
    at[0] = uint8_t(value >> 8);
    at[1] = uint8_t(value);
}

void put32(uint8_t *at, uint32_t value)
{
    put16(at, value >> 16);
    put16(at + 2, value & 0xffff);
}

uint32_t get32(const uint8_t *at)
{
    return uint32_t(at[0]) << 24 | uint32_t(at[1]) << 16 | uint32_t(at[2]) << 8 | at[3];
}
} // namespace

void ContinuousUpdates::attach(rfbClient *client)
{
    // The library keeps one list of extensions for the whole process, and
    // hands each of them every client's unknown messages: registered once,
    // and a client without our state is left alone.
    static rfbClientProtocolExtension extension = {announced, nullptr, handleMessage, nullptr, nullptr, nullptr};
    static std::once_flag registered;
    std::call_once(registered, [] { rfbClientRegisterExtension(&extension); });
    rfbClientSetClientData(client, const_cast<char *>(&clientDataTag), this);
}

rfbBool ContinuousUpdates::handleMessage(rfbClient *client, rfbServerToClientMsg *message)
{
    auto *self = static_cast<ContinuousUpdates *>(rfbClientGetClientData(client, const_cast<char *>(&clientDataTag)));
    if (!self)
        return FALSE;
    // A failed write is left to the next read, which reports the lost
    // connection as it does for any message.
    switch (message->type) {
    case endOfContinuousUpdates:
        self->confirmed(client);
        return TRUE;
    case fenceMessage:
        self->fence(client);
        return TRUE;
    default:
        return FALSE;
    }
}

// The first one says the server can. Another one means it stopped (we never
// ask it to) or saw the pseudo-encoding again with a new SetEncodings:
// either way the whole desktop is wanted, unasked.
void ContinuousUpdates::confirmed(rfbClient *client)
{
    if (std::exchange(pauseAsked, false)) {
        paused = true;
        return;
    }
    enabled = true;
    enable(client);
}

// While paused for a new format, resume() enables the new size: enabling
// now would let updates in the old format follow the pause's end.
bool ContinuousUpdates::resized(rfbClient *client)
{
    return !active() || pauseAsked || enable(client);
}

bool ContinuousUpdates::pause(rfbClient *client)
{
    pauseAsked = true;
    return send(client, false);
}

bool ContinuousUpdates::enable(rfbClient *client)
{
    return send(client, true);
}

bool ContinuousUpdates::send(rfbClient *client, bool on)
{
    if (!sendAnswers(client))
        return false;
    uint8_t message[10] = {enableContinuousUpdates, uint8_t(on)};
    put16(message + 2, 0);
    put16(message + 4, 0);
    put16(message + 6, unsigned(client->width));
    put16(message + 8, unsigned(client->height));
    return WriteToRFBServer(client, reinterpret_cast<const char *>(message), sizeof message);
}

void ContinuousUpdates::fence(rfbClient *client)
{
    // After the type: 3 bytes padding, u32 flags, u8 payload length.
    uint8_t header[8];
    if (!ReadFromRFBServer(client, reinterpret_cast<char *>(header), sizeof header)) {
        failure = Fault::Lost;
        return;
    }
    const uint32_t flags = get32(header + 3);
    const unsigned length = header[7];
    if (length > maximumFencePayload) {
        failure = Fault::Malformed;
        return;
    }
    uint8_t payload[maximumFencePayload];
    if (length > 0 && !ReadFromRFBServer(client, reinterpret_cast<char *>(payload), length)) {
        failure = Fault::Lost;
        return;
    }
    // A response to a fence of ours: we send none.
    if (!(flags & Request))
        return;
    const size_t size = 9 + length;
    if (heldBytes + size > sizeof held)
        sendAnswers(client);
    uint8_t *answer = held + heldBytes;
    std::memset(answer, 0, 9);
    answer[0] = fenceMessage;
    put32(answer + 4, flags & answeredFlags);
    answer[8] = uint8_t(length);
    std::memcpy(answer + 9, payload, length);
    heldBytes += size;
    // Nothing after the fence may be handled before its answer is out.
    if (flags & BlockAfter || !anotherFenceHere(client))
        sendAnswers(client);
}

// Whether the bytes already read end with a fence request and nothing more
// is on its way: its answer then follows without a wait for the network.
// A wrong guess holds an answer until the message in progress is done.
bool ContinuousUpdates::anotherFenceHere(rfbClient *client)
{
    const unsigned here = unsigned(client->buffered);
    int coming = 0;
    if (here < 9 || ioctl(client->sock, FIONREAD, &coming) != 0 || coming > 0)
        return false;
    if (client->tlsSession && gnutls_record_check_pending(static_cast<gnutls_session_t>(client->tlsSession)) > 0)
        return false;
    const auto *end = reinterpret_cast<const uint8_t *>(client->bufoutptr) + here;
    for (unsigned length = 0; length <= maximumFencePayload && 9 + length <= here; ++length) {
        const uint8_t *f = end - 9 - length;
        if (f[0] == fenceMessage && !f[1] && !f[2] && !f[3] && (f[4] & 0x80) && f[8] == length)
            return true;
    }
    return false;
}

bool ContinuousUpdates::sendAnswers(rfbClient *client)
{
    if (heldBytes == 0)
        return true;
    const size_t size = heldBytes;
    heldBytes = 0;
    return WriteToRFBServer(client, reinterpret_cast<const char *>(held), unsigned(size));
}
