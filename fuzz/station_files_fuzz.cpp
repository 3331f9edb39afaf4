// Feeds any bytes as the station's settings file and as its register profile: both are INI
// files a service engineer edits by hand, so they may hold anything from a stray BOM to a
// thousand sections. Beyond not crashing, the profile loader must leave a tag table the poll
// cycle can rely on.

#include "IniFile.h"
#include "RegisterImage.h"
#include "Settings.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdlib>

namespace {
QCoreApplication* app;
QTemporaryDir* dir;

void check(bool ok) {
    if (!ok)
        std::abort();
}
} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    app = new QCoreApplication(*argc, *argv);
    dir = new QTemporaryDir;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString path = dir->filePath(QStringLiteral("station.ini"));
    {
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
            std::abort();
        f.write(reinterpret_cast<const char*>(data), static_cast<qint64>(size));
    }

    const Settings s = loadSettings(path);
    (void)s.oleLogPath();

    RegisterImage image;
    const RegisterImage::LoadResult loaded = image.loadProfile(path);
    check(!loaded.fileMissing);
    check(image.TagCount <= RegisterImage::MaxTags);
    for (int i = 0; i < image.TagCount; ++i) {
        const TTag& t = image.Tags[i];
        check(!t.Name.isEmpty() && t.Page < RegisterImage::PageCount);
        const RegisterImage::Page& p = image.Pages[t.Page];
        // Every tag lies inside its page's read window, and no window outgrows one reply.
        check(p.windowMin <= t.Address && t.Address <= p.windowMax);
        check(p.windowCount == p.windowMax - p.windowMin + 1 && p.windowCount <= RegisterImage::MaxWindow);
        check(image.findTag(t.Name) >= 1 && image.findTag(t.Name) <= i + 1);
    }

    // The reader's own rules on the same text: a value found is found again under any case.
    IniFile ini;
    check(ini.load(path));
    if (const auto v = ini.value(QStringLiteral("Device"), QStringLiteral("ComNumber")))
        check(ini.value(QStringLiteral("DEVICE"), QStringLiteral("comnumber")) == v);
    return 0;
}
