#include "continuousupdates.h"

#include <mutex>

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
    enabled = true;
    enable(client);
}

bool ContinuousUpdates::resized(rfbClient *client)
{
    return !active() || enable(client);
}

bool ContinuousUpdates::enable(rfbClient *client)
{
    uint8_t message[10] = {enableContinuousUpdates, 1};
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
    uint8_t answer[9 + maximumFencePayload] = {fenceMessage};
    if (length > 0 && !ReadFromRFBServer(client, reinterpret_cast<char *>(answer + 9), length)) {
        failure = Fault::Lost;
        return;
    }
    // A response to a fence of ours: we send none.
    if (!(flags & Request))
        return;
    put32(answer + 4, flags & answeredFlags);
    answer[8] = uint8_t(length);
    WriteToRFBServer(client, reinterpret_cast<const char *>(answer), 9 + length);
}
