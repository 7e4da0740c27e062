#pragma once
#include <QStringList>

namespace vuvedid {

// The names of the output devices as SDL reports them (what [audio] device= takes).
QStringList listOutputDevices();

}  // namespace vuvedid
