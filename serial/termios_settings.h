// The line settings as a POSIX terminal holds them: the termios fields for a parsed
// line-settings text, and back. No device is touched here, so the mapping is testable alone.
#pragma once

#include <termios.h>

#include <cstdint>

#include "serial/line_settings.h"

namespace pelorin {

// The settings `tio` holds now, as the parser's starting point for fields a text leaves out.
// A speed outside the table reads as 9600.
LineSettings LineSettingsOf(const termios& tio);

// Raw bytes both ways, receiver on, modem control lines ignored (never wait for carrier),
// no flow control of either kind, reads that return at once.
void MakeRawTermios(termios& tio);

// Makes `tio` raw (MakeRawTermios) with the speed and frame of `settings`. False for a speed
// the system has no constant for and for combinations a UART cannot produce (termios has one
// stop-bit flag: with five data bits it means 1.5 stop bits, otherwise 2; mark and space
// parity need CMSPAR); `tio` is then not fit to apply.
bool ApplyLineSettings(const LineSettings& settings, termios& tio);

}  // namespace pelorin
