// KERNEL32 events, folder change notifications and the waits on them
// (WaitForSingleObject, USER32's MsgWaitForMultipleObjects): a program sleeps
// until one of its objects is set (DirectInput's notifications, a change in a
// watched folder), a message comes, host input comes or its time is up.
//
// A change notification is inotify on Linux; on the web page the page says
// when it replaced files (InputFolderChanged); in the tools' build on Windows
// the layer has no way to watch a folder and says so.
#include <string>

#if defined(__linux__) && !defined(__EMSCRIPTEN__)
#define PIXSHOW_INOTIFY 1
#include <poll.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#endif

#include "platform/portable/emulation/layer.h"

namespace pxport {

namespace {

EventObject* LookupEvent(HANDLE handle) {
  auto it = W().events.find(reinterpret_cast<uintptr_t>(handle));
  return it == W().events.end() ? nullptr : &it->second;
}

ChangeWatch* LookupWatch(HANDLE handle) {
  auto it = W().changeWatches.find(reinterpret_cast<uintptr_t>(handle));
  return it == W().changeWatches.end() ? nullptr : &it->second;
}

// Whether a watched folder has changes not yet taken by FindNextChangeNotification.
bool WatchSet(const ChangeWatch& watch) {
  if (watch.changed) return true;
#ifdef PIXSHOW_INOTIFY
  pollfd p{watch.descriptor, POLLIN, 0};
  return ::poll(&p, 1, 0) > 0;
#else
  return false;
#endif
}

// Asks ready() until it answers other than WAIT_TIMEOUT or the time is up,
// sleeping in the backend until input, a message or a watched change comes
// between the looks.
template <typename Ready>
DWORD WaitUntilReady(DWORD ms, Ready ready) {
  const uint64_t start = CurrentBackend().NowMs();
  for (;;) {
    const uint32_t generation = W().generation;
    const DWORD result = ready();
    const uint64_t passed = CurrentBackend().NowMs() - start;
    if (result != WAIT_TIMEOUT || (ms != INFINITE && passed >= ms)) return result;
    CurrentBackend().WaitForInput(ms == INFINITE ? INFINITE : static_cast<uint32_t>(ms - passed));
    // A timed action may have started another world (tests): its objects are gone.
    if (W().generation != generation) return WAIT_FAILED;
  }
}

// The answer to a call naming a handle that is not open: the misuse noted,
// ERROR_INVALID_HANDLE for GetLastError.
BOOL RefuseHandle(const Call& call, const std::string& why) {
  call.Refuse(why);
  W().lastError = ERROR_INVALID_HANDLE;
  return FALSE;
}

// A handle a wait may name: an event or a change notification.
bool Waitable(HANDLE handle) {
  return LookupEvent(handle) != nullptr || LookupWatch(handle) != nullptr;
}

// Whether a waitable object is set; a wait that goes through takes an
// auto-reset event with it. A change notification stays set until
// FindNextChangeNotification.
bool ObjectSet(HANDLE handle, bool pass) {
  if (ChangeWatch* watch = LookupWatch(handle)) return WatchSet(*watch);
  EventObject* event = LookupEvent(handle);
  if (event == nullptr || !event->signalled) return false;
  if (pass && !event->manualReset) event->signalled = false;
  return true;
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

}  // namespace

ChangeWatch::~ChangeWatch() {
#ifdef PIXSHOW_INOTIFY
  if (descriptor >= 0) ::close(descriptor);
#endif
}

void InputFolderChanged() {
  for (auto& entry : W().changeWatches) entry.second.changed = true;
}

std::vector<int> WatchDescriptors() {
  std::vector<int> descriptors;
  for (const auto& entry : W().changeWatches) descriptors.push_back(entry.second.descriptor);
  return descriptors;
}

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
    return RefuseHandle(call, ": not an open event");
  }
  return TRUE;
}

BOOL WINAPI ResetEvent(HANDLE hEvent) {
  Call call("ResetEvent", "", CallKind::Neutral);
  EventObject* event = LookupEvent(hEvent);
  if (event == nullptr) {
    return RefuseHandle(call, ": not an open event");
  }
  event->signalled = false;
  return TRUE;
}

BOOL WINAPI CloseHandle(HANDLE hObject) {
  Call call("CloseHandle");
  if (CloseFile(hObject)) return TRUE;
  if (W().events.erase(reinterpret_cast<uintptr_t>(hObject)) == 0) {
    return RefuseHandle(call, ": not an open handle");
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
    if (!Waitable(pHandles[i])) {
      RefuseHandle(call, ": object " + std::to_string(i) + " is not an open event");
      return WAIT_FAILED;
    }
  }
  // The first object set ends the wait (all of them and a message, with
  // fWaitAll); else a message or input.
  auto ready = [&]() -> DWORD {
    for (DWORD i = 0; i < nCount; ++i)
      if (!Waitable(pHandles[i])) return WAIT_FAILED;  // closed meanwhile
    if (fWaitAll) {
      for (DWORD i = 0; i < nCount; ++i)
        if (!ObjectSet(pHandles[i], false)) return WAIT_TIMEOUT;
      if (!QueueReady(dwWakeMask)) return WAIT_TIMEOUT;
      for (DWORD i = 0; i < nCount; ++i) ObjectSet(pHandles[i], true);
      return WAIT_OBJECT_0;
    }
    for (DWORD i = 0; i < nCount; ++i)
      if (ObjectSet(pHandles[i], true)) return WAIT_OBJECT_0 + i;
    return QueueReady(dwWakeMask) ? WAIT_OBJECT_0 + nCount : WAIT_TIMEOUT;
  };
  const uint32_t generation = w.generation;
  const DWORD result = WaitUntilReady(dwMilliseconds, ready);
  if (W().generation == generation) QueueChecked();
  return result;
}

DWORD WINAPI WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds) {
  // A look at an object between the passes of a polling loop neither ends
  // the loop nor makes one.
  Call call("WaitForSingleObject",
            dwMilliseconds == INFINITE ? "INFINITE" : std::to_string(dwMilliseconds),
            CallKind::Neutral);
  if (!Waitable(hHandle)) {
    RefuseHandle(call, ": not an open event or change notification");
    return WAIT_FAILED;
  }
  return WaitUntilReady(dwMilliseconds, [hHandle]() -> DWORD {
    return ObjectSet(hHandle, true) ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
  });
}

HANDLE WINAPI FindFirstChangeNotificationA(LPCSTR lpPathName, BOOL bWatchSubtree,
                                           DWORD dwNotifyFilter) {
  Call call("FindFirstChangeNotificationA",
            std::string(lpPathName != nullptr ? lpPathName : "(null)") +
                (bWatchSubtree ? ",subtree" : ""));
  World& w = W();
  const DWORD known = FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_DIR_NAME |
                      FILE_NOTIFY_CHANGE_ATTRIBUTES | FILE_NOTIFY_CHANGE_SIZE |
                      FILE_NOTIFY_CHANGE_LAST_WRITE;
  if (lpPathName == nullptr || *lpPathName == '\0' || dwNotifyFilter == 0 ||
      (dwNotifyFilter & ~known) != 0) {
    w.lastError = ERROR_INVALID_PARAMETER;
    return INVALID_HANDLE_VALUE;
  }
  if (bWatchSubtree) call.Refuse(": this layer watches one folder, not its subtree");
  if (call.Faulted()) {
    w.lastError = ERROR_NOT_SUPPORTED;
    return INVALID_HANDLE_VALUE;
  }
#ifdef PIXSHOW_INOTIFY
  struct stat info;
  if (::stat(lpPathName, &info) != 0) {
    w.lastError = errno == ENOENT   ? ERROR_FILE_NOT_FOUND
                  : errno == EACCES ? ERROR_ACCESS_DENIED
                                    : ERROR_PATH_NOT_FOUND;
    return INVALID_HANDLE_VALUE;
  }
  if (!S_ISDIR(info.st_mode)) {
    w.lastError = ERROR_DIRECTORY;
    return INVALID_HANDLE_VALUE;
  }
  // A file written, or replaced by a rename, or a name coming or going.
  uint32_t mask = 0;
  if (dwNotifyFilter & (FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_DIR_NAME))
    mask |= IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO;
  if (dwNotifyFilter & FILE_NOTIFY_CHANGE_LAST_WRITE) mask |= IN_CLOSE_WRITE;
  if (dwNotifyFilter & FILE_NOTIFY_CHANGE_SIZE) mask |= IN_MODIFY;
  if (dwNotifyFilter & FILE_NOTIFY_CHANGE_ATTRIBUTES) mask |= IN_ATTRIB;
  const int descriptor = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (descriptor < 0) {
    w.lastError = ERROR_NOT_SUPPORTED;
    return INVALID_HANDLE_VALUE;
  }
  if (::inotify_add_watch(descriptor, lpPathName, mask | IN_ONLYDIR) < 0) {
    ::close(descriptor);
    w.lastError = errno == EACCES ? ERROR_ACCESS_DENIED : ERROR_NOT_SUPPORTED;
    return INVALID_HANDLE_VALUE;
  }
#elif defined(__EMSCRIPTEN__)
  const int descriptor = -1;  // set by the page alone
#endif
#if defined(PIXSHOW_INOTIFY) || defined(__EMSCRIPTEN__)
  const uintptr_t handle = w.nextHandle;
  w.nextHandle += 4;
  w.changeWatches.emplace(handle, ChangeWatch(descriptor));
  return reinterpret_cast<HANDLE>(handle);
#else
  w.lastError = ERROR_NOT_SUPPORTED;
  return INVALID_HANDLE_VALUE;
#endif
}

BOOL WINAPI FindNextChangeNotification(HANDLE hChangeHandle) {
  Call call("FindNextChangeNotification", "", CallKind::Neutral);
  ChangeWatch* watch = LookupWatch(hChangeHandle);
  if (watch == nullptr) {
    return RefuseHandle(call, ": not an open change notification");
  }
  // Takes every change so far: the handle is set again by the next one.
  watch->changed = false;
#ifdef PIXSHOW_INOTIFY
  char events[4096];
  while (::read(watch->descriptor, events, sizeof events) > 0) {
  }
#endif
  return TRUE;
}

BOOL WINAPI FindCloseChangeNotification(HANDLE hChangeHandle) {
  Call call("FindCloseChangeNotification");
  if (W().changeWatches.erase(reinterpret_cast<uintptr_t>(hChangeHandle)) == 0) {
    return RefuseHandle(call, ": not an open change notification");
  }
  return TRUE;
}

#ifndef _WIN32
}  // extern "C"
#endif
