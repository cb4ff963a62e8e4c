// Hand-over of calls from a worker thread to the GUI thread: the worker queues
// a call and blocks until the GUI thread has run it. The GUI thread runs the
// pending calls from CheckSynchronize, which its message loop calls when the
// wake-up hook tells it that something is waiting. Without a message loop
// (tests, the command line) a hand-over waits until someone calls
// CheckSynchronize.
#pragma once

#include <functional>

namespace ThreadSync {

// Runs `call` on the GUI thread and returns once it has run there. Must not
// be called from the thread that calls CheckSynchronize (it would wait for itself).
void Synchronize(const std::function<void()>& call);

// GUI thread: runs every pending hand-over and returns whether any ran. With
// timeoutMs > 0 and nothing pending it first waits up to that long for a
// hand-over or a Wake. A call that throws is still released as done, and its
// exception leaves CheckSynchronize (the rest stay queued and the hook is
// called again).
bool CheckSynchronize(int timeoutMs = 0);

// Ends a CheckSynchronize wait early, e.g. when a worker the GUI thread waits
// for has ended. A Wake with nobody waiting ends the next wait at once.
void Wake();

// Called on the queueing thread right after a hand-over is queued, so the GUI
// can post itself an event that runs CheckSynchronize. The hook must be safe
// to call from any thread; pass an empty function to remove it (do so before
// the message loop goes away).
void SetSynchronizeWakeup(std::function<void()> wakeup);

}  // namespace ThreadSync
