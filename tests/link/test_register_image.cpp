#include "RegisterImage.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <memory>

#include <sys/stat.h>
#include <unistd.h>

class Profile : public ::testing::Test {
protected:
    QTemporaryDir dir;
    // The image is large; keep it off the stack.
    std::unique_ptr<RegisterImage> image = std::make_unique<RegisterImage>();
    RegisterImage::LoadResult load(const QByteArray& text) {
        const QString path = dir.filePath(QStringLiteral("Profile.dat"));
        writeFile(path, text);
        return image->loadProfile(path);
    }
};

TEST_F(Profile, MissingFileLoadsNothingAndLeavesWindowsAtZero) {
    const auto r = image->loadProfile(dir.filePath(QStringLiteral("none.dat")));
    EXPECT_TRUE(r.fileMissing);
    EXPECT_EQ(image->TagCount, 0);
    EXPECT_EQ(image->findTag(QStringLiteral("x")), 0);
    for (int p : {0, 1, 255}) {
        EXPECT_EQ(image->Pages[p].windowMin, 0);
        EXPECT_EQ(image->Pages[p].windowMax, 0);
        EXPECT_EQ(image->Pages[p].windowCount, 0);
    }
}

TEST_F(Profile, WindowsFollowTheTagAddresses) {
    const auto r = load("[Reg_1]\nName=High\nPage=3\nAddress=20\nCount=9\n"
                        "[Reg_2]\nName=Low\nPage=3\nAddress=5\n"
                        "[Reg_3]\nName=Zero\nAddress=10\n"
                        "[Reg_4]\nName=Last\nPage=255\nAddress=40\n"
                        "[Reg_5]\nName=Wrap\nPage=200\nAddress=60000\n");
    EXPECT_FALSE(r.fileMissing);
    EXPECT_TRUE(r.refused.isEmpty());
    ASSERT_EQ(image->TagCount, 5);
    struct Case {
        int page, min, max, count, start;
    };
    for (const Case& c : {Case{3, 5, 20, 16, 305}, Case{0, 0, 10, 11, 0}, Case{255, 40, 40, 1, 25540},
                          Case{200, 60000, 60000, 1, 14464}}) {
        const auto& p = image->Pages[c.page];
        EXPECT_EQ(p.windowMin, c.min) << c.page;
        EXPECT_EQ(p.windowMax, c.max) << c.page;
        EXPECT_EQ(p.windowCount, c.count) << c.page;
        EXPECT_EQ(image->windowStart(c.page), c.start) << c.page;
    }
    // A page without tags keeps the empty window of the reset.
    EXPECT_EQ(image->Pages[7].windowMin, 65535);
    EXPECT_EQ(image->Pages[7].windowCount, 0);
    const TTag& t = image->tag(1);
    EXPECT_EQ(t.ValType, 1);
    EXPECT_EQ(t.Count, 9);
    EXPECT_EQ(t.DebugValue, 1); // the default
}

TEST_F(Profile, NumberingStopsAtTheFirstGapAndNamesAreExact) {
    load("[Reg_2]\nName=Second\nPage=1\nAddress=2\nDebugValue=530\n"
         "[reg_1]\nname=First\n"
         "[Reg_4]\nName=Fourth\n"
         "[Reg_3]\nName=\n");
    ASSERT_EQ(image->TagCount, 2);
    EXPECT_EQ(image->findTag(QStringLiteral("First")), 1);
    EXPECT_EQ(image->findTag(QStringLiteral("Second")), 2);
    EXPECT_EQ(image->findTag(QStringLiteral("Fourth")), 0);
    EXPECT_EQ(image->findTag(QStringLiteral("first")), 0);
    EXPECT_EQ(image->tag(2).DebugValue, 530);
    // A tag with only a name lands on page 0, address 0.
    EXPECT_EQ(image->tag(1).Page, 0);
    EXPECT_EQ(image->tag(1).Address, 0);
}

TEST_F(Profile, AFifoIsAMissingProfileAndAnUnreadableOneSaysWhy) {
    const QString fifo = dir.filePath(QStringLiteral("fifo.dat"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    auto r = image->loadProfile(fifo);
    EXPECT_TRUE(r.fileMissing);
    EXPECT_EQ(image->TagCount, 0);

    if (::geteuid() == 0)
        return; // root reads any file
    load("[Reg_1]\nName=A\n");
    ASSERT_TRUE(QFile::setPermissions(dir.filePath(QStringLiteral("Profile.dat")), QFileDevice::WriteOwner));
    r = image->loadProfile(dir.filePath(QStringLiteral("Profile.dat")));
    EXPECT_FALSE(r.fileMissing);
    EXPECT_EQ(image->TagCount, 0);
    ASSERT_EQ(r.refused.size(), 1);
    EXPECT_TRUE(r.refused[0].contains(QStringLiteral("Profile.dat"))) << r.refused[0].toStdString();
}

TEST_F(Profile, DuplicateNamesFindTheFirst) {
    load("[Reg_1]\nName=Brake1\nPage=1\n[Reg_2]\nName=Brake1\nPage=2\n");
    EXPECT_EQ(image->TagCount, 2);
    EXPECT_EQ(image->findTag(QStringLiteral("Brake1")), 1);
}

TEST_F(Profile, RefusesEntriesTheImageCannotServe) {
    // A window wider than 61 registers: that tag is skipped, loading goes on.
    auto r = load("[Reg_1]\nName=A\nPage=2\nAddress=100\n"
                  "[Reg_2]\nName=TooFar\nPage=2\nAddress=161\n"
                  "[Reg_3]\nName=B\nPage=2\nAddress=160\n");
    EXPECT_EQ(image->TagCount, 2);
    EXPECT_EQ(image->findTag(QStringLiteral("B")), 2);
    EXPECT_EQ(image->Pages[2].windowCount, 61);
    ASSERT_EQ(r.refused.size(), 1);
    EXPECT_TRUE(r.refused[0].contains(QStringLiteral("Reg_2"))) << r.refused[0].toStdString();
    EXPECT_TRUE(r.refused[0].contains(QStringLiteral("TooFar")));

    // A page above 255: loading stops there.
    r = load("[Reg_1]\nName=A\n[Reg_2]\nName=Big\nPage=256\n[Reg_3]\nName=C\n");
    EXPECT_EQ(image->TagCount, 1);
    ASSERT_EQ(r.refused.size(), 1);
    EXPECT_TRUE(r.refused[0].contains(QStringLiteral("Reg_2")));
}

TEST_F(Profile, StopsAfterTheLastTagTheTableHolds) {
    QByteArray text;
    for (int i = 1; i <= RegisterImage::MaxTags + 2; ++i)
        text += "[Reg_" + QByteArray::number(i) + "]\nName=T" + QByteArray::number(i) + "\n";
    const auto r = load(text);
    EXPECT_EQ(image->TagCount, RegisterImage::MaxTags);
    ASSERT_EQ(r.refused.size(), 1);
    EXPECT_TRUE(r.refused[0].contains(QStringLiteral("Reg_1025")));
}

TEST_F(Profile, StoresReplyWordsIntoTheWindowAndUnreadRegistersReadZero) {
    load("[Reg_1]\nName=A\nPage=3\nAddress=20\n[Reg_2]\nName=B\nPage=3\nAddress=5\n");
    EXPECT_EQ(image->word(3, 5), 0);
    EXPECT_EQ(image->word(9, 1234), 0);
    std::array<uint16_t, 16> words{};
    for (int i = 0; i < 16; ++i)
        words[i] = static_cast<uint16_t>(1000 + i);
    image->storePageWords(3, words.data(), 16);
    EXPECT_EQ(image->word(3, 5), 1000);
    EXPECT_EQ(image->word(3, 20), 1015);
    EXPECT_EQ(image->word(3, 4), 0);
    EXPECT_EQ(image->word(3, 21), 0);
    // A reply longer than the window stores only the window.
    std::array<uint16_t, 20> longer{};
    longer.fill(7);
    image->storePageWords(3, longer.data(), 20);
    EXPECT_EQ(image->word(3, 21), 0);
    EXPECT_EQ(image->word(3, 20), 7);
}
