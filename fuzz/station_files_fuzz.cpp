// Feeds any bytes as the station's settings file and as its register profile: both are INI
// files a service engineer edits by hand, so they may hold anything from a stray BOM to a
// thousand sections. Beyond not crashing, the profile loader must leave a tag table the poll
// cycle can rely on.

#include "FuzzInput.h"
#include "IniFile.h"
#include "RegisterImage.h"
#include "Settings.h"

#include <cstdint>
#include <cstdlib>

using FuzzInput::check;

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    FuzzInput::init(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString path = FuzzInput::write("station.ini", data, size);

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
