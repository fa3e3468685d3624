// The drive list over a mount table: which mounts are drives, their names,
// roots as internal paths, labels, the stepping and wrapping operations.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "core/drives/uloDisksList.h"
#include "support/tempFolder.h"

namespace {

struct Table {
  TempFolder tmp;
  Table(const std::string& mounts) {
    tmp.write("mounts", mounts);
    mkdir((tmp.sys() + "labels").c_str(), 0755);
    uloDisksList::setSystemSources(tmp.file("mounts").c_str(), tmp.file("labels").c_str());
  }
  ~Table() { uloDisksList::setSystemSources(nullptr, nullptr); }
  void label(const std::string& name, const std::string& device) {
    ASSERT_EQ(symlink(device.c_str(), (tmp.sys() + "labels/" + name).c_str()), 0);
  }
};

const char* kTable =
    "proc /proc proc rw 0 0\n"
    "/dev/vda1 / ext4 rw 0 0\n"
    "tmpfs /run tmpfs rw 0 0\n"
    "/dev/sdb1 /media/alice/MY\\040STICK vfat rw 0 0\n"
    "tmpfs /mnt/scratch tmpfs rw 0 0\n"
    "/dev/sr0 /run/media/bob/CDROM iso9660 ro 0 0\n"
    "/dev/sdc1 /home/alice/data ext4 rw 0 0\n"
    "/dev/sdd1 /mnt/a:b vfat rw 0 0\n";

TEST(DisksList, MediaAndRootOnlyInTableOrder) {
  Table t(kTable);
  uloDisksList d;
  d.start();
  char name[256], root[256];
  ASSERT_TRUE(d.next(name));
  EXPECT_STREQ(name, "/");
  EXPECT_FALSE(d.ejectable());
  ASSERT_TRUE(d.get(root));
  EXPECT_STREQ(root, "/:");
  ASSERT_TRUE(d.next(name));
  EXPECT_STREQ(name, "MY STICK");  // the table's escaped blank
  d.get(root);
  EXPECT_STREQ(root, "/:media:alice:MY STICK:");
  EXPECT_TRUE(d.ejectable());
  EXPECT_FALSE(d.optical());
  ASSERT_TRUE(d.next(name));
  EXPECT_STREQ(name, "CDROM");
  EXPECT_TRUE(d.optical());
  // tmpfs under /mnt, a home folder and a name with ':' are not drives.
  EXPECT_FALSE(d.next(name));
  EXPECT_STREQ(name, "");
  EXPECT_EQ(d.get(), -1);
  EXPECT_FALSE(d.get(root));
  EXPECT_FALSE(d.ejectable());
  // loop wraps to the first drive.
  ASSERT_TRUE(d.loop(name));
  EXPECT_STREQ(name, "/");
}

TEST(DisksList, SetAndGetIndex) {
  Table t(kTable);
  uloDisksList d;
  ASSERT_TRUE(d.set(1));
  EXPECT_EQ(d.get(), 1);
  char root[256];
  d.get(root);
  EXPECT_STREQ(root, "/:media:alice:MY STICK:");
  EXPECT_FALSE(d.set(7));
  EXPECT_EQ(d.get(), -1);
}

TEST(DisksList, LabelsFromLabelLinksElseRoot) {
  Table t(kTable);
  t.label("Holiday\\x20Songs", "/dev/sdb1");
  uloDisksList d;
  d.set(1);
  char name[256];
  ASSERT_TRUE(d.getExtended(name));
  EXPECT_STREQ(name, "Holiday Songs");
  d.set(2);
  ASSERT_TRUE(d.getExtended(name));
  EXPECT_STREQ(name, "/:run:media:bob:CDROM:");
}

TEST(DisksList, UnreadableTableIsEmpty) {
  uloDisksList::setSystemSources("/nonexistent/mounts", nullptr);
  uloDisksList d;
  d.start();
  char name[256] = "x";
  EXPECT_FALSE(d.next(name));
  EXPECT_FALSE(d.loop(name));
  uloDisksList::setSystemSources(nullptr, nullptr);
}

}  // namespace

TEST(DisksList, LongMountPointKeepsItsWholeRootAndOneTooLongIsSkipped) {
  // 3 x 200 characters: longer than a name, well within a path.
  const std::string a(200, 'a'), b(200, 'b'), c(200, 'c');
  const std::string longPoint = "/media/" + a + "/" + b + "/" + c;
  std::string tooLong = "/media/x";
  while (tooLong.size() < 2100) tooLong += "/" + std::string(200, 'z');
  Table t("/dev/sdb1 " + tooLong + " vfat rw 0 0\n/dev/sdc1 " + longPoint + " vfat rw 0 0\n");
  uloDisksList d;
  d.start();
  char name[uloDisksList::kNameBytes], root[uloDisksList::kRootBytes], label[uloDisksList::kRootBytes];
  ASSERT_TRUE(d.next(name));
  EXPECT_EQ(std::string(name), c);
  ASSERT_TRUE(d.get(root));
  EXPECT_EQ(std::string(root), "/:media:" + a + ":" + b + ":" + c + ":");
  ASSERT_TRUE(d.getExtended(label));
  EXPECT_STREQ(label, root);
  EXPECT_FALSE(d.next(name));
}
