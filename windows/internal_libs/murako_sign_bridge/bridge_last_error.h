#pragma once

#include <string>

// One failure text per thread. The texts live in a table keyed by thread id rather than in
// compiler thread-local storage, so unloading the library after every signature (as the
// provider does) leaves nothing behind on threads that stay alive.

// Records `text` as the calling thread's last error and logs "MurakoSignBridge: " + text.
void SetBridgeError(const std::string& text);

// The calling thread's text, empty until its first failure. Valid until that thread's next
// failure or its exit.
const char* BridgeLastError();

// Drops the text of a thread that is ending.
void ForgetBridgeErrorOfThread(unsigned long thread_id);
