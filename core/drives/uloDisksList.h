// uloDisksList: the drives the load panels step through. On Linux a "drive"
// is a mounted file system: the root and removable media mounted below
// /media, /run/media or /mnt (read from /proc/self/mounts). Each is named
// by the last component of its mount point ("/" for the root); its root is
// given as an internal path ("/:media:usb:"), so a panel appends "Song:"
// to it. Removable media count as ejectable (the panels only step through
// those); a device /dev/sr* is also optical.
//
// User-interface thread (any single thread per object). Nothing fails
// loudly: an unreadable mount table gives an empty list, and operations on
// no current drive return false, -1 or an empty name.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "core/files/uloPath.h"

class uloDisksList {
 public:
  // A drive's name (the last part of its mount point) fits kNameBytes; its
  // root, a whole path, needs kRootBytes.
  static constexpr size_t kNameBytes = 256;
  static constexpr size_t kRootBytes = kUloPathMax;

  uloDisksList();
  virtual ~uloDisksList() = default;

  // Reads the mount table again; no current drive.
  virtual void start();
  // The next drive; false (and `name` empty) after the last.
  virtual bool next(char* name = nullptr);
  virtual bool set(short index);
  // next(), wrapping to the first drive after the last.
  virtual bool loop(char* name = nullptr);
  virtual short get() const;
  // The current drive's root as an internal path ending with ':', into a
  // buffer of kRootBytes. A mount point too long for it is never offered.
  virtual bool get(char* root) const;
  // The volume label when the system has one, else as get(root); the buffer
  // holds kRootBytes.
  virtual bool getExtended(char* name) const;
  virtual long freeSpace() const { return 0; }
  virtual bool ejectable() const;
  virtual bool eject() { return false; }
  virtual bool isBoot() const { return false; }
  bool optical() const;

  // Tests and tools read another mount table and label folder and may name
  // one more folder that holds media; null restores the system's.
  static void setSystemSources(const char* mountsFile, const char* labelsFolder, const char* extraMediaFolder = nullptr);

  struct Drive {
    std::string mountPoint;  // system path
    std::string device;
    std::string label;       // empty: none
    bool removable = false;
  };
  // The drives of a mount table's text, in table order; labels come from
  // the folder of label links (the form of /dev/disk/by-label).
  static std::vector<Drive> parseMounts(const std::string& table, const char* labelsFolder);

  uloPath current;

 private:
  std::vector<Drive> drives_;
  char root_[kUloPathMax];
  int16_t index_ = -1;
};
