#include "keytable.h"

#include <Qt>

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

int size()
{
    int n = int(sizeof(rows) / sizeof(rows[0]));
    for (const Range &range : ranges)
        n += range.lastQtKey - range.firstQtKey + 1;
    return n;
}
uint32_t keysymForCharacter(char32_t codePoint)
{
    if (codePoint == U'\n' || codePoint == U'\r')
        return 0xFF0D;
    if (codePoint == U'\t')
        return 0xFF09;
    if (codePoint < 0x20 || (codePoint >= 0x7F && codePoint < 0xA0) || codePoint > 0x10FFFF)
        return 0;
    return codePoint <= 0xFF ? uint32_t(codePoint) : 0x01000000 + uint32_t(codePoint);
}
} // namespace KeyTable
