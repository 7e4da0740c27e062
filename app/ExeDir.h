#pragma once
#include <QString>

namespace vuvedid {

// The folder of the running executable (from /proc/self/exe), with a trailing "/".
QString executableDir();

}  // namespace vuvedid
