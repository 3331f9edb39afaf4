#include "KeyMap.h"

#include <Qt>

#include <gtest/gtest.h>

TEST(KeyMap, PhysicalKeysWhateverTheLayout) {
    struct Case {
        int key;
        quint32 keycode;
        int index;
    };
    const Case cases[] = {
        // X keycodes decide when the window system gives them, whatever the symbol.
        {Qt::Key_Exclam, 10, 0},   {Qt::Key_QuoteDbl, 11, 1}, {0x2116, 12, 2},   {Qt::Key_ParenLeft, 18, 8},
        {0x0424, 38, 9},           {Qt::Key_B, 56, 10},      {0x0421, 54, 11},  {0x0412, 40, 12},
        {Qt::Key_E, 26, 13},       {0x0410, 41, 14},         {Qt::Key_Question, 61, -1}, // Shift+/ on US
        {Qt::Key_G, 42, -1},       {Qt::Key_0, 19, -1},
        // Without keycodes: the symbol of the US or the Russian layout.
        {Qt::Key_1, 0, 0},         {Qt::Key_Exclam, 0, 0},   {Qt::Key_At, 0, 1}, {Qt::Key_QuoteDbl, 0, 1},
        {Qt::Key_NumberSign, 0, 2}, {0x2116, 0, 2},          {Qt::Key_Dollar, 0, 3}, {Qt::Key_Semicolon, 0, 3},
        {Qt::Key_Percent, 0, 4},   {Qt::Key_AsciiCircum, 0, 5}, {Qt::Key_Colon, 0, 5}, {Qt::Key_Ampersand, 0, 6},
        {Qt::Key_Question, 0, 6},  {Qt::Key_Asterisk, 0, 7}, {Qt::Key_ParenLeft, 0, 8}, {Qt::Key_A, 0, 9},
        {0x0424, 0, 9},            {0x0418, 0, 10},          {0x0421, 0, 11},   {0x0412, 0, 12},
        {0x0423, 0, 13},           {Qt::Key_F, 0, 14},       {0x0410, 0, 14},   {Qt::Key_G, 0, -1},
        {Qt::Key_0, 0, -1},        {Qt::Key_ParenRight, 0, -1},
    };
    for (const Case& c : cases)
        EXPECT_EQ(KeyMap::commandIndex(c.key, c.keycode), c.index) << std::hex << c.key << " " << std::dec << c.keycode;
}
