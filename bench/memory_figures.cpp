// SPDX-License-Identifier: MIT
#include "memory_figures.h"

#include "native_support.h"

#include <cstdint>
#include <memory>
#include <string>
#include <utility>

#include <malloc.h>
#include <sys/resource.h>
#include <unistd.h>

namespace divebridge::bench {
namespace {

// The design's budget for a stored row of four measured cells.
constexpr double storedBytesBudget = 48;
// A download must fault in the pages its records fill, and may fault in half as many again: a
// column that doubles holds its old block beside the new one, 1.5 times its final size, until
// it lets go of the old one, which only a later dive can reuse.
constexpr double faultAllowance = 1.5;

// Native heap (small blocks and mapped ones) in use now.
double heapInUse() {
    const struct mallinfo2 info = ::mallinfo2();
    return static_cast<double>(info.uordblks + info.hblkhd);
}

long minorFaults() {
    rusage usage{};
    ::getrusage(RUSAGE_THREAD, &usage);
    return usage.ru_minflt;
}

struct DownloadMemory {
    double storedBytesPerRow;
    double faultsPerThousandRows;
};

// A download after a first one on the same connection, on a heap returned to the system when
// `freshHeap` (a real download, one per connection, lands in fresh pages) or on the blocks the
// first one freed.
DownloadMemory measureDownload(std::uint32_t dives, std::uint32_t rows, bool freshHeap) {
    const std::string path = imagePath(dives, rows);
    const SilencedStdout silenced;
    const DiveComputer computer(benchVendor, benchModel, path.c_str());
    DeviceConnection connection(computer);
    connection.download();
    if (freshHeap) {
        ::malloc_trim(0);
    }
    const double heapBefore = heapInUse();
    const long faultsBefore = minorFaults();
    const std::unique_ptr<DiveDownload> download = connection.download();
    const double totalRows = static_cast<double>(dives) * rows;
    return {(heapInUse() - heapBefore) / totalRows,
            static_cast<double>(minorFaults() - faultsBefore) * 1000 / totalRows};
}

double pagesPerThousandRows(double bytesPerRow) {
    return bytesPerRow * 1000 / static_cast<double>(::sysconf(_SC_PAGESIZE));
}

}  // namespace

void addMemoryFigures(FigureTable &table) {
    table.explain("bytes: native heap a stored row keeps (malloc's count)");
    table.explain(
        "faults: minor page faults of the downloading thread, the first touch of each new "
        "page; on a heap returned to the system (malloc_trim), as a real download finds "
        "it");
    table.explain(
        "The fault target is the pages the stored bytes fill, times 1.5 for the block a "
        "doubling column leaves behind.");
    for (const auto &[dives, rows] : {std::pair<std::uint32_t, std::uint32_t>{1, downloadRows},
                                      {1000, downloadRows},
                                      {1, 100000}}) {
        const std::string size = "D=" + std::to_string(dives) + " R=" + std::to_string(rows);
        const DownloadMemory memory = measureDownload(dives, rows, true);
        table.atMost("native memory of a stored row, " + size, memory.storedBytesPerRow, "bytes",
                     storedBytesBudget);
        table.atMost("minor page faults per 1,000 rows, " + size, memory.faultsPerThousandRows,
                     "faults", faultAllowance * pagesPerThousandRows(memory.storedBytesPerRow));
    }
    table.report("minor page faults per 1,000 rows, D=1 R=3600, heap reused",
                 measureDownload(1, downloadRows, false).faultsPerThousandRows, "faults");
}

}  // namespace divebridge::bench
