#include <fstream>

#include <unistd.h>

#include "BenchSupport.h"

long tellamo::bench::ResidentKb() {
    std::ifstream statm("/proc/self/statm");
    long pages = 0, resident = 0;
    statm >> pages >> resident;
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}
