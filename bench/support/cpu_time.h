// CPU time of the calling thread: on a machine shared with other work, wall time also
// counts the time others had the processor.
#pragma once

#include <time.h>

namespace kavo::bench {

inline double CpuMs() {
    timespec ts;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

}  // namespace kavo::bench
