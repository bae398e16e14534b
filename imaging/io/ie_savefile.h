// Saving a file without ever leaving a half-written one in its place.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#pragma GCC visibility push(default)
namespace redozir {

// Writes Size bytes as the whole content of FileName without ever leaving
// a half-written file there: a new file beside it (same folder, so that the
// rename stays on one file system) is written, flushed to the disk and
// renamed over the target only when complete. On failure the previous file
// is untouched, the new one removed, and the error names the file and the
// system's reason. Otherwise it does what writing FileName in place would:
// the same refusals, symbolic links followed to the file they name, whose
// mode and owner are kept; what a new file cannot stand in for (a FIFO, a
// device, a file with other hard links or whose owner cannot be kept) is
// written in place.
void IEWriteFileSafely(const std::string& FileName, const void* Data, std::int64_t Size);
// What Write puts into a stream, saved so: written to memory first, so that
// a failing writer touches no file.
class TStream;
void IESaveFileSafely(const std::string& FileName, const std::function<void(TStream&)>& Write);

}  // namespace redozir
#pragma GCC visibility pop
