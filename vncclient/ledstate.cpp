#include "ledstate.h"

#include <mutex>

namespace
{
const char clientDataTag = 0;

int announced[] = {LedState::qemuEncoding, LedState::vmwareEncoding, 0};
} // namespace

void LedState::attach(rfbClient *client, std::function<void(int)> changed)
{
    // One list of extensions for the whole process (see ContinuousUpdates):
    // registered once; a client without our state is left alone.
    static rfbClientProtocolExtension extension = {announced, handleEncoding, nullptr, nullptr, nullptr, nullptr};
    static std::once_flag registered;
    std::call_once(registered, [] { rfbClientRegisterExtension(&extension); });
    report = std::move(changed);
    rfbClientSetClientData(client, const_cast<char *>(&clientDataTag), this);
}

rfbBool LedState::handleEncoding(rfbClient *client, rfbFramebufferUpdateRectHeader *rect)
{
    auto *self = static_cast<LedState *>(rfbClientGetClientData(client, const_cast<char *>(&clientDataTag)));
    const int encoding = int(rect->encoding);
    if (!self || (encoding != qemuEncoding && encoding != vmwareEncoding))
        return FALSE;
    uint8_t bytes[4] = {};
    const unsigned size = encoding == qemuEncoding ? 1 : 4;
    // A read that fails leaves the connection to the library's next read,
    // which reports it as lost.
    if (!ReadFromRFBServer(client, reinterpret_cast<char *>(bytes), size))
        return TRUE;
    const int locks = bytes[size - 1] & (Scroll | Num | Caps);
    if (self->report)
        self->report(locks);
    return TRUE;
}
