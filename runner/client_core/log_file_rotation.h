#pragma once

#include <cstdint>
#include <string>

// The size cap of the shared log file. The main program and every process that signs through
// the bridge append to the same file; when a line would take it past the cap, the file becomes
// the one older file (path + ".1", replacing an earlier one) and a new file starts. The rename
// happens under a lock shared by every process writing that file, and the size is looked at
// again under it, so that several writers at the cap rotate once.
constexpr uint64_t kLogFileLimitBytes = 10 * 1024 * 1024;

std::string OlderLogFilePath(const std::string& path);

// Whether `incoming` more bytes take a file of `size` bytes past the cap.
bool LogFileIsFull(uint64_t size, uint64_t incoming);

// Rotates the file at `path` when it is full (under the cross-process lock). False when the
// lock could not be taken within a short wait or the file could not be renamed (another
// program holds it open without sharing deletion): the caller then keeps appending.
bool RotateFullLogFile(const std::string& path, uint64_t incoming);
