#include "RegisterImage.h"

#include "IniFile.h"

#include <QFileInfo>

#include <algorithm>

RegisterImage::LoadResult RegisterImage::loadProfile(const QString& path) {
    LoadResult result;
    if (!QFileInfo(path).isFile()) {
        result.fileMissing = true;
        return result;
    }
    IniFile ini;
    QString error;
    // A profile that is there but cannot be read loads no tags, and says why.
    if (!ini.load(path, &error))
        result.refused << QStringLiteral("Файл профиля не прочитан: %1").arg(error);

    // Page 0 keeps windowMin 0, so its window always starts at address 0.
    for (int p = 1; p < PageCount; ++p) {
        Pages[p].windowMin = 65535;
        Pages[p].windowMax = 0;
    }
    TagCount = 0;
    for (int entry = 1;; ++entry) {
        const QString section = QStringLiteral("Reg_%1").arg(entry);
        const QString name = ini.readString(section, QStringLiteral("Name"), QString());
        if (name.isEmpty())
            break;
        if (TagCount >= MaxTags) {
            result.refused << QStringLiteral("%1 («%2»): в профиле не может быть больше %3 тегов; "
                                             "загрузка остановлена.")
                                  .arg(section, name)
                                  .arg(MaxTags);
            break;
        }
        TTag t;
        t.Name = name;
        t.ValType = 1;
        t.DebugValue = static_cast<uint16_t>(ini.readInteger(section, QStringLiteral("DebugValue"), 1));
        t.Page = static_cast<uint16_t>(ini.readInteger(section, QStringLiteral("Page"), 0));
        t.Address = static_cast<uint16_t>(ini.readInteger(section, QStringLiteral("Address"), 0));
        t.Count = static_cast<uint16_t>(ini.readInteger(section, QStringLiteral("Count"), 0));
        if (t.Page >= PageCount) {
            result.refused << QStringLiteral("%1 («%2»): страница %3 больше 255; загрузка остановлена.")
                                  .arg(section, name)
                                  .arg(t.Page);
            break;
        }
        Page& page = Pages[t.Page];
        const uint16_t newMin = std::min(page.windowMin, t.Address);
        const uint16_t newMax = std::max(page.windowMax, t.Address);
        const int width = newMax - newMin + 1;
        if (width > MaxWindow) {
            result.refused << QStringLiteral("%1 («%2»): адрес %3 расширил бы окно страницы %4 до %5 "
                                             "регистров (не больше %6); тег пропущен.")
                                  .arg(section, name)
                                  .arg(t.Address)
                                  .arg(t.Page)
                                  .arg(width)
                                  .arg(MaxWindow);
            continue;
        }
        page.windowMin = newMin;
        page.windowMax = newMax;
        page.windowCount = static_cast<uint16_t>(width);
        Tags[TagCount++] = t;
    }
    return result;
}

int RegisterImage::findTag(const QString& name) const {
    for (int i = 0; i < TagCount; ++i)
        if (Tags[i].Name == name)
            return i + 1;
    return 0;
}

void RegisterImage::storePageWords(uint16_t page, const uint16_t* words, int count) {
    if (page >= PageCount)
        return;
    Page& p = Pages[page];
    const int n = std::min<int>(count, p.windowCount);
    if (n <= 0)
        return;
    if (!p.regs) {
        p.regs = std::make_unique<uint16_t[]>(65536);
        std::fill_n(p.regs.get(), 65536, uint16_t{0});
    }
    for (int i = 0; i < n; ++i)
        p.regs[static_cast<uint16_t>(p.windowMin + i)] = words[i];
}

uint16_t RegisterImage::word(uint16_t page, uint16_t address) const {
    if (page >= PageCount || !Pages[page].regs)
        return 0;
    return Pages[page].regs[address];
}

uint16_t RegisterImage::windowStart(uint16_t page) const {
    if (page >= PageCount)
        return 0;
    return static_cast<uint16_t>(page * 100 + Pages[page].windowMin);
}
