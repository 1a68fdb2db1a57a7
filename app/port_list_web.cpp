// The browser build's one port: the one chosen on the page (the browser's
// own port chooser), under the name the page gives it.
#include "port_list.h"

std::vector<SerialPortEntry> ListSerialPorts() { return {{"/dev/webserial", "the port chosen with Connect"}}; }
