#include "KeyMap.h"

#include <Qt>

#include <array>
#include <initializer_list>

namespace KeyMap {

int commandIndex(int qtKey, quint32 xkbKeycode) {
    // X keyboard codes of the physical keys 1..9 and A..F (evdev numbering).
    static constexpr std::array<quint32, 15> keycodes{10, 11, 12, 13, 14, 15, 16, 17, 18,
                                                      38, 56, 54, 40, 26, 41};
    if (xkbKeycode != 0) {
        for (int i = 0; i < 15; ++i)
            if (keycodes[i] == xkbKeycode)
                return i;
        return -1;
    }
    // The unshifted key, then what Shift makes of it on a US and on a Russian layout.
    static const std::array<std::initializer_list<int>, 15> symbols{{
        {Qt::Key_1, Qt::Key_Exclam},
        {Qt::Key_2, Qt::Key_At, Qt::Key_QuoteDbl},
        {Qt::Key_3, Qt::Key_NumberSign, 0x2116},
        {Qt::Key_4, Qt::Key_Dollar, Qt::Key_Semicolon},
        {Qt::Key_5, Qt::Key_Percent},
        {Qt::Key_6, Qt::Key_AsciiCircum, Qt::Key_Colon},
        {Qt::Key_7, Qt::Key_Ampersand, Qt::Key_Question},
        {Qt::Key_8, Qt::Key_Asterisk},
        {Qt::Key_9, Qt::Key_ParenLeft},
        {Qt::Key_A, 0x0424},
        {Qt::Key_B, 0x0418},
        {Qt::Key_C, 0x0421},
        {Qt::Key_D, 0x0412},
        {Qt::Key_E, 0x0423},
        {Qt::Key_F, 0x0410},
    }};
    for (int i = 0; i < 15; ++i)
        for (int k : symbols[i])
            if (k == qtKey)
                return i;
    return -1;
}

} // namespace KeyMap
