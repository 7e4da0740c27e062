#pragma once
// The window's pictures, drawn in code so the program needs no image files: each icon is
// painted afresh at every size a button or the tray asks for.
#include <QIcon>

namespace vuvedid::icons {

QIcon play();         // play triangle: background play and the four effect test buttons
QIcon pause();        // two bars
QIcon stop();         // square
QIcon save();         // floppy disk: both log-save buttons
QIcon saveFolder();   // folder with a downward arrow: the settings save button
QIcon speak();        // speaking head: the speech test
QIcon connect();      // plugged link
QIcon disconnect();   // broken link
QIcon subscribe();    // incoming arrow into a tray
QIcon publish();      // outgoing arrow
QIcon application();  // loudspeaker with sound waves: window, application and tray

}  // namespace vuvedid::icons
