#pragma once
#include <atomic>

class MainEngine;
template <class E>
class LServiceEngine;

// The running service engine: published once the engine has started, just
// before the start notice, and cleared before the final stop.  Read by the
// log's forwarding on any thread.
extern std::atomic<LServiceEngine<MainEngine>*> pServiceEngine;

// Turns the process into the background service and never returns.  The
// calling process exits 0 once the detached child reports "started", and 1
// when the child ends without reporting it (or cannot be made).
[[noreturn]] void StartService();
