#include "data/WrenchStamped.hpp"

// Every member of WrenchStamped is defined inline in its header: records are copied on every
// sample.
