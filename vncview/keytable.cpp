#include "keytable.h"

#include <Qt>

#include <xkbcommon/xkbcommon.h>

namespace KeyTable
{
namespace
{
struct Row
{
    int qtKey;
    uint32_t keysym;
    int modifierBit;
};

const Row rows[] = {
    {Qt::Key_Space, 0x0020, 0},
    {Qt::Key_Equal, 0x003D, 0},
    {Qt::Key_Escape, 0xFF1B, 0},
    {Qt::Key_Tab, 0xFF09, 0},
    {Qt::Key_Backtab, 0xFF09, 0},
    {Qt::Key_Backspace, 0xFF08, 0},
    {Qt::Key_Return, 0xFF0D, 0},
    {Qt::Key_Enter, 0xFF8D, 0},
    {Qt::Key_Insert, 0xFF63, 0},
    {Qt::Key_Delete, 0xFFFF, 0},
    {Qt::Key_Pause, 0xFF13, 0},
    {Qt::Key_Print, 0xFF61, 0},
    {Qt::Key_SysReq, 0xFF15, 0},
    {Qt::Key_Clear, 0xFF0B, 0},
    {Qt::Key_Home, 0xFF50, 0},
    {Qt::Key_End, 0xFF57, 0},
    {Qt::Key_Left, 0xFF51, 0},
    {Qt::Key_Up, 0xFF52, 0},
    {Qt::Key_Right, 0xFF53, 0},
    {Qt::Key_Down, 0xFF54, 0},
    {Qt::Key_PageUp, 0xFF55, 0},
    {Qt::Key_PageDown, 0xFF56, 0},
    {Qt::Key_Shift, 0xFFE1, ShiftBit},
    {Qt::Key_Control, 0xFFE3, ControlBit},
    {Qt::Key_Meta, metaLeft, MetaBit},
    {Qt::Key_Alt, altLeft, AltBit},
    {Qt::Key_AltGr, 0xFE03, AltGrBit},
    {Qt::Key_CapsLock, 0xFFE5, 0},
    {Qt::Key_NumLock, 0xFF7F, 0},
    {Qt::Key_ScrollLock, 0xFF14, 0},
    {Qt::Key_Help, 0xFF6A, 0},
    {Qt::Key_Mode_switch, 0xFF7E, 0},
    {Qt::Key_Super_L, 0xFFEB, MetaBit},
    {Qt::Key_Super_R, 0xFFEC, MetaBit},
    {Qt::Key_Menu, 0xFF67, 0},
    {Qt::Key_Multi_key, 0xFF20, 0},
};

// What the keypad's keys are with Num Lock on and off.
const Row keypadRows[] = {
    {Qt::Key_0, 0xFFB0, 0},        {Qt::Key_1, 0xFFB1, 0},        {Qt::Key_2, 0xFFB2, 0},
    {Qt::Key_3, 0xFFB3, 0},        {Qt::Key_4, 0xFFB4, 0},        {Qt::Key_5, 0xFFB5, 0},
    {Qt::Key_6, 0xFFB6, 0},        {Qt::Key_7, 0xFFB7, 0},        {Qt::Key_8, 0xFFB8, 0},
    {Qt::Key_9, 0xFFB9, 0},        {Qt::Key_Asterisk, 0xFFAA, 0}, {Qt::Key_Plus, 0xFFAB, 0},
    {Qt::Key_Comma, 0xFFAC, 0},    {Qt::Key_Minus, 0xFFAD, 0},    {Qt::Key_Period, 0xFFAE, 0},
    {Qt::Key_Slash, 0xFFAF, 0},    {Qt::Key_Equal, 0xFFBD, 0},    {Qt::Key_Enter, 0xFF8D, 0},
    {Qt::Key_Home, 0xFF95, 0},     {Qt::Key_Left, 0xFF96, 0},     {Qt::Key_Up, 0xFF97, 0},
    {Qt::Key_Right, 0xFF98, 0},    {Qt::Key_Down, 0xFF99, 0},     {Qt::Key_PageUp, 0xFF9A, 0},
    {Qt::Key_PageDown, 0xFF9B, 0}, {Qt::Key_End, 0xFF9C, 0},      {Qt::Key_Clear, 0xFF9D, 0},
    {Qt::Key_Insert, 0xFF9E, 0},   {Qt::Key_Delete, 0xFF9F, 0},
};

// Two runs of consecutive codes on both sides.
struct Range
{
    int firstQtKey;
    int lastQtKey;
    uint32_t firstKeysym;
};

const Range ranges[] = {
    {Qt::Key_F1, Qt::Key_F15, 0xFFBE},              // F1 .. F15
    {Qt::Key_Dead_Grave, Qt::Key_Dead_Horn, 0xFE50}, // dead_grave .. dead_horn
};
} // namespace

Entry lookup(int qtKey)
{
    for (const Row &row : rows) {
        if (row.qtKey == qtKey)
            return {row.keysym, row.modifierBit};
    }
    for (const Range &range : ranges) {
        if (qtKey >= range.firstQtKey && qtKey <= range.lastQtKey)
            return {range.firstKeysym + uint32_t(qtKey - range.firstQtKey), 0};
    }
    return {0, 0};
}

uint32_t keypadKeysym(int qtKey)
{
    for (const Row &row : keypadRows) {
        if (row.qtKey == qtKey)
            return row.keysym;
    }
    return 0;
}

uint32_t keysymForCharacter(char32_t codePoint)
{
    // Typing a new line is pressing Return; xkbcommon would say Linefeed,
    // which few keymaps have.
    if (codePoint == U'\n')
        return 0xFF0D;
    const uint32_t keysym = xkb_utf32_to_keysym(uint32_t(codePoint));
    // A control character without a key of its own has no keysym: the
    // Unicode keysym of one types nothing.
    if (keysym == XKB_KEY_NoSymbol || (codePoint < 0x20 && keysym >= 0x01000000)
        || (codePoint >= 0x7f && codePoint < 0xa0 && keysym >= 0x01000000))
        return 0;
    return keysym;
}

int size()
{
    int n = int(sizeof(rows) / sizeof(rows[0]));
    for (const Range &range : ranges)
        n += range.lastQtKey - range.firstQtKey + 1;
    return n;
}
} // namespace KeyTable
