#include <windows.h>
//
#include <bcrypt.h>

#include "platform/core/system_random.h"

namespace veltrum {

bool systemRandomBytes(unsigned char* buffer, size_t size) {
  while (size > 0) {
    ULONG piece = size > 0x10000000 ? 0x10000000 : static_cast<ULONG>(size);
    if (!BCRYPT_SUCCESS(BCryptGenRandom(nullptr, buffer, piece, BCRYPT_USE_SYSTEM_PREFERRED_RNG))) {
      return false;
    }
    buffer += piece;
    size -= piece;
  }
  return true;
}

}  // namespace veltrum
