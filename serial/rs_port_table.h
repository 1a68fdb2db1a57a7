// The process-wide port table, shared by the two halves of the serial
// module. Not part of the public interface (rs.h).
#ifndef KORVEL_SERIAL_RS_PORT_TABLE_H
#define KORVEL_SERIAL_RS_PORT_TABLE_H

#include "rs.h"
#include "serial_platform.h"

// Two parallel arrays: the open flag (1 open, 0 not) and the device handle.
// A handle is only passed to the platform while its slot's flag is 1.
struct PortTable {
  int open[kRsPortCount];
  serial_platform::Handle handle[kRsPortCount];
};

extern PortTable RsPortTable;

bool RsSlotIsOpen(int port);

// The line settings that RsOpen's four indexes select.
serial_platform::LineSettings RsLineSettings(int bitRateIndex, int dataBitsIndex, int parityIndex,
                                             int stopBitsIndex);

#endif
