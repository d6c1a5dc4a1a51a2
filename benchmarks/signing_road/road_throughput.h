#pragma once

#include "road_setup.h"

// The threads benchmark: signatures through the provider from several threads at once, each
// verified and each thread's bridge last-error text checked to be its own, alternating in the
// same threads with as many bare WinHTTP POSTs (a fresh session each, as the bridge sends
// them); printed as the throughput ratio (product signatures per second over bare requests per
// second), for 8 threads in this process and for 4 processes of 4 threads.
int Threads(const Setup& setup);

// A child process of the second run: "threads-child THREADS ROUNDS TOKEN EVENT".
int ThreadsChild(int argc, char** argv);
