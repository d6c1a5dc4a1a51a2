#include "line_batch.h"

#include <windows.h>

#include "scoped_srw_exclusive_lock.h"

namespace {

// The open batches of this module, by thread. A fixed table, so that opening a batch never
// allocates, and a slim lock, so that a module loaded and unloaded at every call (the signing
// bridge) owns no kernel object.
constexpr size_t kOpenBatches = 128;

struct OpenBatch {
  DWORD thread = 0;
  LineBatch::Sink sink = nullptr;
  LineBatch* batch = nullptr;
};

SRWLOCK g_table_lock = SRWLOCK_INIT;
OpenBatch g_open[kOpenBatches];

LineBatch* FindOpen(DWORD thread, LineBatch::Sink sink) {
  for (const OpenBatch& open : g_open) {
    if (open.batch != nullptr && open.thread == thread && open.sink == sink) return open.batch;
  }
  return nullptr;
}

// Only the thread a batch belongs to ever reads or changes it, so it is used without the lock.
LineBatch* OpenBatchOfThisThread(LineBatch::Sink sink) {
  ScopedSrwSharedLock shared(g_table_lock);
  return FindOpen(GetCurrentThreadId(), sink);
}

bool Register(LineBatch::Sink sink, LineBatch* batch) {
  const DWORD thread = GetCurrentThreadId();
  ScopedSrwExclusiveLock exclusive(g_table_lock);
  if (FindOpen(thread, sink) != nullptr) return false;  // an outer batch collects
  for (OpenBatch& open : g_open) {
    if (open.batch == nullptr) {
      open = OpenBatch{thread, sink, batch};
      return true;
    }
  }
  return false;
}

void Unregister(const LineBatch* batch) {
  ScopedSrwExclusiveLock exclusive(g_table_lock);
  for (OpenBatch& open : g_open) {
    if (open.batch == batch) open = OpenBatch{};
  }
}

}  // namespace

LineBatch::LineBatch(Sink sink) noexcept : sink_(sink) {
  collecting_ = sink != nullptr && Register(sink, this);
}

LineBatch::~LineBatch() {
  if (!collecting_) return;
  Unregister(this);
  Flush();
}

void LineBatch::Flush() noexcept {
  if (lines_.empty()) return;
  try {
    sink_(lines_);
  } catch (...) {
  }
  lines_.clear();
}

bool LineBatch::Hold(Sink sink, const std::string& line) noexcept {
  LineBatch* batch = OpenBatchOfThisThread(sink);
  if (batch == nullptr) return false;
  try {
    batch->lines_.append(line);
    return true;
  } catch (...) {
    return false;
  }
}

void LineBatch::FlushOpen(Sink sink) noexcept {
  LineBatch* batch = OpenBatchOfThisThread(sink);
  if (batch != nullptr) batch->Flush();
}
