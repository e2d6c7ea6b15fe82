#pragma once

// Makes the instrument safe to unplug through udisks2, the desktop's volume
// manager, over D-Bus: unmount the file system, then power the drive off
// where the drive allows it.

#include <QDBusConnection>
#include <string>

namespace velno::qt {

// True when the volume of the block device ("/dev/sdb1") is no longer
// mounted. Powering the drive off is a courtesy: it may be refused (not
// every drive can, not every user may) without making this false. Events
// keep being processed while udisks2 works.
bool RemoveWithUDisks2(const QDBusConnection& bus, const std::string& device);

}  // namespace velno::qt
