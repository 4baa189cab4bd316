#include "data/Sync.hpp"

// Every function is defined in the header, so that the per-sample calls inline.
