#include "sysinfo/systemquery.h"

#include "devicetree/hwdb.h"

namespace sysinfo {

SystemQuery::SystemQuery(const QString& root)
    : SystemQuery(root, devicetree::HardwareDatabase::system())
{
}

SystemQuery::SystemQuery(const QString& root, const devicetree::HardwareDatabase& hwdb)
    : m_root(root)
    , m_hwdb(hwdb)
{
}

} // namespace sysinfo
