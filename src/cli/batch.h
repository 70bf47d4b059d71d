#pragma once
// The files of a batch, run in parallel and handed out in the order they were named: what
// the tool prints for a batch does not depend on how many run at once, nor on which
// finishes first.

#include <cstddef>
#include <functional>

#include "cli/command_io.h"

namespace tonamira {

// Runs work(i) for every i < count, up to `jobs` at once on threads of their own, and calls
// deliver(i) on the calling thread in order of i, each as soon as work(i) and every delivery
// before it are done. work(i) keeps its result where deliver(i) finds it (a slot per file);
// a file is started only while fewer than 2 x jobs files are done or running but not yet
// delivered, so the results waiting for a slow file before them stay few. With one job (or
// one file) everything runs on the calling thread, work(i) then deliver(i).
void RunInOrder(size_t count, int jobs, const std::function<void(size_t)>& work,
                const std::function<void(size_t)>& deliver);

// The status of a batch so far after one more file: a batch with any file that failed (for
// whatever reason, each reported as it would be alone) ends with kExitRejected.
inline int WithFileStatus(int batch, int file) { return file == kExitOk ? batch : kExitRejected; }

}  // namespace tonamira
