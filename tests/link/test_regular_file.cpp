#include "RegularFile.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <sys/stat.h>

namespace {

QByteArray contents(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

void put(const QString& path, const QByteArray& data) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(data);
}

class RegularFileTest : public ::testing::Test {
protected:
    QTemporaryDir tmp;
    QString at(const QString& name) const { return tmp.filePath(name); }
};

TEST_F(RegularFileTest, ReadsRegularFilesAndLinksToThem) {
    put(at("a.txt"), "one\r\ntwo");
    ASSERT_TRUE(QFile::link(at("a.txt"), at("link.txt")));
    for (const char* name : {"a.txt", "link.txt"}) {
        QString why;
        const auto data = RegularFile::read(at(name), &why);
        ASSERT_TRUE(data) << name << ": " << why.toStdString();
        EXPECT_EQ(*data, QByteArray("one\r\ntwo"));
    }
}

// A FIFO nobody writes to would block a plain open for ever; it, a directory and a missing
// file are refused at once with a reason naming the path.
TEST_F(RegularFileTest, RefusesWhatIsNotARegularFileWithoutBlocking) {
    ASSERT_EQ(::mkfifo(QFile::encodeName(at("fifo")).constData(), 0644), 0);
    QDir(tmp.path()).mkdir("dir");
    const struct {
        const char* name;
        const char* says;
    } cases[] = {{"fifo", "not a regular file"}, {"dir", "not a regular file"}, {"missing", "No such file"}};
    for (const auto& c : cases) {
        QString why;
        EXPECT_FALSE(RegularFile::read(at(c.name), &why)) << c.name;
        EXPECT_TRUE(why.contains(at(c.name))) << why.toStdString();
        EXPECT_TRUE(why.contains(c.says)) << why.toStdString();
    }
}

TEST_F(RegularFileTest, WritesAndReplacesWholeFilesLeavingNoTemporaryBehind) {
    ASSERT_TRUE(RegularFile::writeAtomically(at("p.txt"), "first"));
    EXPECT_EQ(contents(at("p.txt")), QByteArray("first"));
    ASSERT_TRUE(RegularFile::writeAtomically(at("p.txt"), "second, longer"));
    EXPECT_EQ(contents(at("p.txt")), QByteArray("second, longer"));
    EXPECT_EQ(QDir(tmp.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"p.txt"});
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(at("p.txt")).constData(), &st), 0);
    EXPECT_TRUE(st.st_mode & S_IRGRP) << "a new file is as readable as the umask allows";
}

// A link planted at the name is replaced by the file; what it points to is never written.
TEST_F(RegularFileTest, ReplacesASymbolicLinkInsteadOfFollowingIt) {
    put(at("victim"), "precious");
    ASSERT_TRUE(QFile::link(at("victim"), at("p.txt")));
    ASSERT_TRUE(RegularFile::writeAtomically(at("p.txt"), "protocol"));
    EXPECT_EQ(contents(at("victim")), QByteArray("precious"));
    EXPECT_FALSE(QFileInfo(at("p.txt")).isSymLink());
    EXPECT_EQ(contents(at("p.txt")), QByteArray("protocol"));
}

TEST_F(RegularFileTest, AFailedWriteLeavesTheOldFileAndSaysWhy) {
    // A name whose directory is a plain file cannot be written, even by root.
    put(at("plain"), "x");
    QString why;
    EXPECT_FALSE(RegularFile::writeAtomically(at("plain/p.txt"), "protocol", &why));
    EXPECT_TRUE(why.contains(at("plain/p.txt"))) << why.toStdString();
    // A directory at the name: the rename fails and the directory stays as it was.
    QDir(tmp.path()).mkpath("taken/inner");
    EXPECT_FALSE(RegularFile::writeAtomically(at("taken"), "protocol", &why));
    EXPECT_TRUE(QFileInfo(at("taken/inner")).isDir());
    EXPECT_EQ(QDir(tmp.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"plain"});
}

} // namespace
