#include "platform/DataFolder.h"

#ifndef TERVALA_DEFAULT_DATA_DIR
#define TERVALA_DEFAULT_DATA_DIR "/usr/local/share/tervala"
#endif

namespace tervala {
namespace platform {

std::string builtInDataFolder() { return TERVALA_DEFAULT_DATA_DIR; }

} // namespace platform
} // namespace tervala
