// vuvedid-headless: the room without a window, as "vuvedid --headless" runs it.
#include "app/Headless.h"

int main(int argc, char** argv) { return vuvedid::runHeadless(argc, argv); }
