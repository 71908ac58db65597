#include "physicalkeys.h"

#include <QGuiApplication>

namespace PhysicalKeys
{
namespace
{
struct Row
{
    uint32_t evdev;
    uint32_t xt;
};

// Linux numbered the main block after the XT codes: evdev 1 (Esc) to 83
// (keypad .) and 86 to 88 (the key left of Z, F11, F12) are the XT code
// itself. The rest, from linux/input-event-codes.h; the keys behind 0xE0
// have 0x80 set.
const Row rows[] = {
    {85, 0x76},  // Zenkaku/Hankaku
    {89, 0x73},  // Ro
    {90, 0x78},  // Katakana
    {91, 0x77},  // Hiragana
    {92, 0x79},  // Henkan
    {93, 0x70},  // Katakana/Hiragana
    {94, 0x7B},  // Muhenkan
    {95, 0x5C},  // keypad Japanese comma
    {96, 0x9C},  // keypad Enter
    {97, 0x9D},  // right Control
    {98, 0xB5},  // keypad /
    {99, 0xB7},  // Print Screen
    {100, 0xB8}, // right Alt, AltGr
    {102, 0xC7}, // Home
    {103, 0xC8}, // Up
    {104, 0xC9}, // Page Up
    {105, 0xCB}, // Left
    {106, 0xCD}, // Right
    {107, 0xCF}, // End
    {108, 0xD0}, // Down
    {109, 0xD1}, // Page Down
    {110, 0xD2}, // Insert
    {111, 0xD3}, // Delete
    {113, 0xA0}, // Mute
    {114, 0xAE}, // Volume Down
    {115, 0xB0}, // Volume Up
    {116, 0xDE}, // Power
    {117, 0x59}, // keypad =
    {119, 0xC6}, // Pause, as Control+Break sends it (Pause's own has no release)
    {121, 0x7E}, // keypad comma
    {124, 0x7D}, // Yen
    {125, 0xDB}, // left Super
    {126, 0xDC}, // right Super
    {127, 0xDD}, // Menu
    {163, 0x99}, // next track
    {164, 0xA2}, // play/pause
    {165, 0x90}, // previous track
    {166, 0xA4}, // stop
};

bool nativeIsEvdev()
{
    static const bool evdev = [] {
        const QString platform = QGuiApplication::platformName();
        return platform == QLatin1String("xcb") || platform.startsWith(QLatin1String("wayland"));
    }();
    return evdev;
}
} // namespace

uint32_t xtFromEvdev(uint32_t evdevCode)
{
    if ((evdevCode >= 1 && evdevCode <= 83) || (evdevCode >= 86 && evdevCode <= 88))
        return evdevCode;
    for (const Row &row : rows) {
        if (row.evdev == evdevCode)
            return row.xt;
    }
    return 0;
}

int refinedKey(int qtKey, quint32 nativeVirtualKey)
{
    if (qtKey != Qt::Key_Meta || !nativeIsEvdev())
        return qtKey;
    switch (nativeVirtualKey) {
    case 0xFFEB: // Super_L
        return Qt::Key_Super_L;
    case 0xFFEC: // Super_R
        return Qt::Key_Super_R;
    default:
        return qtKey;
    }
}

uint32_t xtFromNative(quint32 nativeScanCode)
{
    if (!nativeIsEvdev() || nativeScanCode < 8)
        return 0;
    return xtFromEvdev(nativeScanCode - 8);
}
} // namespace PhysicalKeys
