#include "core/atmel/AtmelBootLoader.h"

namespace corvel {

// Placeholder until the device packet link is merged.
bool AtmelBootLoader::RequestBootLoader() { return false; }

}  // namespace corvel
