#pragma once

#include <QImage>

struct CommandDef;

// The 64 x 64 picture on a command button. Every command has its own, except that the
// buttons of row 4 (next: axle up, registration number, indicator) share an up arrow and
// those of row 5 (previous) a down arrow; the headings between the rows tell them apart.
QImage CommandPicture(const CommandDef& command);
