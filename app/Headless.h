#pragma once
// The room without a window (vuvedid --headless).

namespace vuvedid {

// A room without a window: the same host the window is built on, on a QCoreApplication
// (no widget is ever created), started as "start" starts the window. Settings from MQTT.ini
// beside the program; each problem a window would show in a box is one line on standard
// error. Returns 2 at once when MQTT.ini is missing; otherwise runs until the process ends.
int runHeadless(int argc, char** argv);

}  // namespace vuvedid
