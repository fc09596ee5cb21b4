// KERNEL32 events and USER32's MsgWaitForMultipleObjects: a program sleeps
// until one of its events is set (DirectInput's notifications), a message
// comes, host input comes or its time is up.
#include <string>

#include "platform/portable/emulation/layer.h"

namespace pxport {

namespace {

EventObject* LookupEvent(HANDLE handle) {
  auto it = W().events.find(reinterpret_cast<uintptr_t>(handle));
  return it == W().events.end() ? nullptr : &it->second;
}

// Whether something in the queue answers the wake mask: a posted message,
// the quit request, a window to paint, or key or mouse input since the queue
// was last looked at (input reaches the program through DirectInput and the
// key state, not as messages, but wakes a wait as its messages would).
bool QueueReady(DWORD wakeMask) {
  World& w = W();
  if ((wakeMask & (QS_POSTMESSAGE | QS_SENDMESSAGE)) != 0 && (!w.queue.empty() || w.quitPending))
    return true;
  if ((wakeMask & QS_PAINT) != 0) {
    for (const auto& entry : w.windows)
      if (entry.second.alive && entry.second.needsPaint) return true;
  }
  if ((wakeMask & QS_KEY) != 0 && w.inputCount[0] != w.inputSeen[0]) return true;
  return (wakeMask & QS_MOUSE) != 0 && w.inputCount[1] != w.inputSeen[1];
}

// Lets a wait through the event: an auto-reset event is reset by it.
void PassEvent(EventObject& event) {
  if (!event.manualReset) event.signalled = false;
}

}  // namespace

bool EventOpen(HANDLE event) { return LookupEvent(event) != nullptr; }

void QueueChecked() {
  World& w = W();
  for (int kind = 0; kind < 2; ++kind) w.inputSeen[kind] = w.inputCount[kind];
}

bool SignalEvent(HANDLE handle) {
  EventObject* event = LookupEvent(handle);
  if (event == nullptr) return false;
  event->signalled = true;
  return true;
}

}  // namespace pxport

using namespace pxport;

#ifndef _WIN32  // see "Functions" in include/windows.h
extern "C" {
#endif

HANDLE WINAPI CreateEventA(LPSECURITY_ATTRIBUTES lpEventAttributes, BOOL bManualReset,
                           BOOL bInitialState, LPCSTR lpName) {
  (void)lpEventAttributes;
  Call call("CreateEventA",
            std::string(bManualReset ? "manual" : "auto") + (bInitialState ? ",set" : ""));
  if (lpName != nullptr) call.Refuse(": named events are not shared by this layer");
  if (call.Faulted()) return nullptr;
  World& w = W();
  const uintptr_t handle = w.nextHandle;
  w.nextHandle += 4;
  w.events[handle] = EventObject{bManualReset != FALSE, bInitialState != FALSE};
  return reinterpret_cast<HANDLE>(handle);
}

BOOL WINAPI SetEvent(HANDLE hEvent) {
  Call call("SetEvent", "", CallKind::Neutral);
  if (!SignalEvent(hEvent)) {
    call.Refuse(": not an open event");
    W().lastError = ERROR_INVALID_HANDLE;
    return FALSE;
  }
  return TRUE;
}

BOOL WINAPI ResetEvent(HANDLE hEvent) {
  Call call("ResetEvent", "", CallKind::Neutral);
  EventObject* event = LookupEvent(hEvent);
  if (event == nullptr) {
    call.Refuse(": not an open event");
    W().lastError = ERROR_INVALID_HANDLE;
    return FALSE;
  }
  event->signalled = false;
  return TRUE;
}

BOOL WINAPI CloseHandle(HANDLE hObject) {
  Call call("CloseHandle");
  if (W().events.erase(reinterpret_cast<uintptr_t>(hObject)) == 0) {
    call.Refuse(": not an open handle");
    W().lastError = ERROR_INVALID_HANDLE;
    return FALSE;
  }
  if (EventNotifiesDevice(hObject)) call.Refuse(": a device still sets the event");
  return TRUE;
}

DWORD WINAPI MsgWaitForMultipleObjects(DWORD nCount, const HANDLE* pHandles, BOOL fWaitAll,
                                       DWORD dwMilliseconds, DWORD dwWakeMask) {
  // A timed sleep on nothing but the queue right after the drawing is a pause
  // of the program, as a Sleep is (a pause that serves messages): a hold.
  const bool pause = nCount == 0 && dwMilliseconds != INFINITE && W().lastCallPlain;
  Call call("MsgWaitForMultipleObjects",
            (nCount != 0 ? std::to_string(nCount) + " objects " : std::string()) +
                (dwMilliseconds == INFINITE ? "INFINITE" : std::to_string(dwMilliseconds)),
            CallKind::Polling);
  World& w = W();
  if (pause && w.holdCallback) {
    Hold hold{HoldKind::Pause, dwMilliseconds, CurrentBackend().NowMs()};
    auto callback = w.holdCallback;
    callback(hold);
  }
  if (nCount >= MAXIMUM_WAIT_OBJECTS || (nCount != 0 && pHandles == nullptr)) {
    call.Refuse(": more than 63 objects or none given");
    w.lastError = ERROR_INVALID_PARAMETER;
    return WAIT_FAILED;
  }
  for (DWORD i = 0; i < nCount; ++i) {
    if (LookupEvent(pHandles[i]) == nullptr) {
      call.Refuse(": object " + std::to_string(i) + " is not an open event");
      w.lastError = ERROR_INVALID_HANDLE;
      return WAIT_FAILED;
    }
  }
  // The first object set ends the wait (all of them and a message, with
  // fWaitAll); else a message or input.
  auto ready = [&]() -> DWORD {
    for (DWORD i = 0; i < nCount; ++i)
      if (LookupEvent(pHandles[i]) == nullptr) return WAIT_FAILED;  // closed meanwhile
    if (fWaitAll) {
      for (DWORD i = 0; i < nCount; ++i)
        if (!LookupEvent(pHandles[i])->signalled) return WAIT_TIMEOUT;
      if (!QueueReady(dwWakeMask)) return WAIT_TIMEOUT;
      for (DWORD i = 0; i < nCount; ++i) PassEvent(*LookupEvent(pHandles[i]));
      return WAIT_OBJECT_0;
    }
    for (DWORD i = 0; i < nCount; ++i) {
      EventObject* event = LookupEvent(pHandles[i]);
      if (event->signalled) {
        PassEvent(*event);
        return WAIT_OBJECT_0 + i;
      }
    }
    return QueueReady(dwWakeMask) ? WAIT_OBJECT_0 + nCount : WAIT_TIMEOUT;
  };
  const uint64_t start = CurrentBackend().NowMs();
  for (;;) {
    const uint32_t generation = w.generation;
    DWORD result = ready();
    const uint64_t passed = CurrentBackend().NowMs() - start;
    if (result == WAIT_TIMEOUT && (dwMilliseconds == INFINITE || passed < dwMilliseconds)) {
      CurrentBackend().WaitForInput(
          dwMilliseconds == INFINITE ? INFINITE : static_cast<uint32_t>(dwMilliseconds - passed));
      // A timed action may have started another world (tests): its events are gone.
      if (W().generation != generation) return WAIT_FAILED;
      continue;
    }
    QueueChecked();
    return result;
  }
}

#ifndef _WIN32
}  // extern "C"
#endif
