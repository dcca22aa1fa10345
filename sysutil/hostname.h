#pragma once
// Host names typed by a user or handed over by a page: what may be put on a
// command line or into a URI without further quoting.

#include <QString>

namespace sysutil {

// 1 to 253 ASCII letters, digits, '-' and '.', not starting with '-' or '.',
// no empty label (".."). Dotted IPv4 addresses pass too.
bool isHostName(const QString& host);

}  // namespace sysutil
