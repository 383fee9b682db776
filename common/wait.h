#pragma once

#include <functional>

class QEventLoop;

// The one way the program waits for something: it sleeps in the event loop
// (so windows, transfers and timers go on) until the condition holds, and
// never spins a core.
//
// A wait also ends when the program quits. Once the application has been
// told to quit, every event loop started afterwards returns at once, so a
// wait that went on looking at its condition would spin for ever and the
// program would never get back to its main loop.
//
// And a wait refuses, instead of waiting, when only a frame further down the
// call stack can make its condition true: everything runs on one thread, so
// a harvest that is running, or a scope that holds a lock, is below the
// waiter and cannot go on until the wait has returned.
enum class WaitEnd {
    Done,    // the condition holds
    Quit,    // the program is quitting
    Refused, // only an outer frame could have ended the wait
};

struct WaitOptions {
    // The longest sleep before the condition is looked at again (signals
    // that can change it wake the wait at once).
    int PollMs = 20;
    // Connects the signals that can make the condition true to the loop's
    // quit, e.g. [&](QEventLoop &loop) { QObject::connect(&fetch,
    // &Fetch::Ended, &loop, &QEventLoop::quit); }. The connections go with
    // the loop.
    std::function<void(QEventLoop &)> Wake;
    // True while the condition can only be made true by a frame further down
    // the stack: the wait then refuses.
    std::function<bool()> OuterFrame;
};

WaitEnd WaitUntil(const std::function<bool()> &condition, const WaitOptions &options = {});

// True once the program has been told to quit and has not yet left its main
// loop: long work (a crawl, a pass over the list) ends early.
bool QuitRequested();
