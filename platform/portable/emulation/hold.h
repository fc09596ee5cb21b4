// Hold points: the moments the program stops to pass time (a Sleep, or a
// timed MsgWaitForMultipleObjects on no objects right after a plain call: a
// pause that serves messages) or to wait for input (the first pass of a
// polling loop). The emulation reports them to whoever watches (tests and
// tools, through the control API).
#ifndef PIXSHOW_PLATFORM_PORTABLE_EMULATION_HOLD_H
#define PIXSHOW_PLATFORM_PORTABLE_EMULATION_HOLD_H

#include <cstdint>

namespace pxport {

enum class HoldKind { Pause, Wait };

struct Hold {
  HoldKind kind;
  uint32_t pauseMs;  // the pause's length; 0 for a wait
  uint64_t atMs;     // virtual time when the hold began
};

}  // namespace pxport

#endif
