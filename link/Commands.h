#pragma once

#include <array>
#include <cstdint>

// The operator's commands: each is a code written into holding register 0 of the
// controller. The keys are Shift with the physical key named here; the buttons sit in a
// grid of three columns and five rows on the command panel.
struct CommandDef {
    const char* action; // action name
    uint8_t code;
    char key;           // physical key pressed with Shift: '1'..'9', 'A'..'F'
    const char* button; // button name
    int column;         // 1..3
    int row;            // 1..5
};

inline constexpr std::array<CommandDef, 15> Commands{{
    {"ac_START_L", 1, '1', "BitBtn1", 1, 1},
    {"ac_START_R", 2, '2', "BitBtn3", 3, 1},
    {"ac_START_B", 3, '3', "BitBtn2", 2, 1},
    {"ac_STOP", 4, '4', "BitBtn8", 2, 3},
    {"ac_END", 16, '5', "BitBtn9", 3, 3},
    {"ac_STORE", 17, '6', "BitBtn6", 3, 2},
    {"ac_OVAL", 18, '7', "BitBtn4", 1, 2},
    {"ac_BRSYS", 32, '8', "BitBtn5", 2, 2},
    {"ac_VTYPE", 33, '9', "BitBtn7", 1, 3},
    {"ac_AXLE_UP", 34, 'A', "BitBtn10", 1, 4},
    {"ac_AXLE_DOWN", 35, 'B', "BitBtn13", 1, 5},
    {"ac_CARN_NEXT", 36, 'C', "BitBtn11", 2, 4},
    {"ac_CARN_PREV", 37, 'D', "BitBtn14", 2, 5},
    {"ac_IND_NEXT", 38, 'E', "BitBtn12", 3, 4},
    {"ac_IND_PREV", 39, 'F', "BitBtn15", 3, 5},
}};
