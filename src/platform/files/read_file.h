// A file opened for reading and held open while the run lasts (the
// configuration file).
#pragma once

#include <cstdint>
#include <string>

namespace veltrum {

// Opens the file at `path` for reading. Windows tries in turn: read and
// write with others allowed to read; read with others allowed to read; read
// with others allowed to read and write. Only regular files are opened (a
// folder, pipe or device counts as not openable). -1 when every way failed.
int64_t openHeldFile(const std::string& path);

// Reads the whole file from its start into `bytes`. False on a read error
// or when the contents do not fit in memory; `bytes` is empty then.
bool readHeldFile(int64_t handle, std::string* bytes);

void closeHeldFile(int64_t handle);

}  // namespace veltrum
