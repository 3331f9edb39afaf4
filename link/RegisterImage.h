#pragma once

#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>
#include <memory>

// One named controller value of the register profile.
struct TTag {
    QString Name;
    uint16_t ValType = 0;
    uint16_t Page = 0;
    uint16_t Address = 0;
    uint16_t Count = 0;
    uint16_t DebugValue = 0;
};

// The program's copy of the controller registers that page reads bring in, and the table
// of tags naming them. A page's 65536 registers are allocated on their first write, so
// unread registers read 0 without the image holding 32 MiB from the start.
class RegisterImage {
public:
    static constexpr int MaxTags = 1024;
    static constexpr int PageCount = 256;
    // A window wider than this gives replies the receive path cannot always assemble.
    static constexpr int MaxWindow = 61;

    struct Page {
        uint16_t windowMin = 0;
        uint16_t windowMax = 0;
        uint16_t windowCount = 0;
        std::unique_ptr<uint16_t[]> regs;
    };

    struct LoadResult {
        bool fileMissing = false;
        // One line per profile entry that was refused, naming it.
        QStringList refused;
    };

    // Fills the tag table and the page windows from the profile file.
    LoadResult loadProfile(const QString& path);

    // Tag number (from 1) of the first tag with exactly this name, or 0.
    int findTag(const QString& name) const;
    const TTag& tag(int number) const { return Tags[number - 1]; }

    // Reply word i goes to register windowMin + i of the page, for i below windowCount.
    void storePageWords(uint16_t page, const uint16_t* words, int count);
    uint16_t word(uint16_t page, uint16_t address) const;

    // First controller register of the page's read window: page x 100 + windowMin, in 16 bits.
    uint16_t windowStart(uint16_t page) const;

    std::array<TTag, MaxTags> Tags;
    uint16_t TagCount = 0;
    std::array<Page, PageCount> Pages;
};
